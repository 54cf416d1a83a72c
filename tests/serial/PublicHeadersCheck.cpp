// Compiled, never run: the headers an application includes must leave the Windows macro
// names free, as <windows.h> defines them. Each name below is made a macro first, as that
// header would; a public header that declared any of them would no longer compile.
#define INVALID_HANDLE_VALUE ((void*)-1)
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED 0xFFFFFFFF
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_IO_PENDING 997L
#define EV_RXCHAR 0x0001
#define EV_ERR 0x0080
#define CE_FRAME 0x0008
#define CE_BREAK 0x0010
#define MS_CTS_ON 0x0010
#define PURGE_TXABORT 0x0001
#define NOPARITY 0
#define ONESTOPBIT 0
#define DTR_CONTROL_DISABLE 0x00
#define RTS_CONTROL_DISABLE 0x00
#define CreateFile CreateFileA
#define CreateEvent CreateEventA
#define SendMessage SendMessageA

#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"
#include "serial/ComSyncHost.h"
#include "serial/DevicePath.h"
#include "serial/ModemWakeSignal.h"
