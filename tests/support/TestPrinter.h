#pragma once

// The card printer the tests print on, with the same calls on every system: on POSIX the
// printer model on a pseudo-terminal in the test program itself; on Windows, which has no
// pseudo-terminals, the same printer in the host's far end, which wine's COM port reaches.
#ifdef _WIN32
#include "RemoteTestPrinter.h"
using TestPrinter = RemoteTestPrinter;
#else
#include "PtyTestPrinter.h"
using TestPrinter = PtyTestPrinter;
#endif
