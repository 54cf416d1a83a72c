#pragma once

namespace db {

// Lets threads other than the main one run statements and then end, on every system. Call it
// first in main, before any statement runs.
//
// Built with MinGW, a thread's thread_local storage is freed before the destructors of the
// objects in it run at the thread's end. Qt's regular expressions, which reading a data link
// and masking a password in an error message use, keep such an object per thread when they
// run compiled to machine code, so a thread that used one could crash as it ended. There they
// are left interpreted, which never makes that object; elsewhere nothing changes.
void PrepareWorkerThreads();

} // namespace db
