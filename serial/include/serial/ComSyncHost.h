// How a port reaches the application's main thread. The host only has to run a posted call
// on the main thread some time later and show errors that have no caller; waiting for the
// call, carrying its error back and serving calls while a port closes are done by the port
// itself on top of that (ComSyncQueue).
#pragma once

#include <exception>
#include <functional>

class ComSyncHost {
public:
    virtual ~ComSyncHost() = default;
    // Called from any thread; must return without waiting for the call, which is then run
    // on the main thread at its next chance (for a GUI: through its event loop).
    virtual void PostToMainThread(std::function<void()> call) = 0;
    // Called on the main thread with an error that no caller can take, to show it to the user.
    virtual void ReportException(std::exception_ptr error) = 0;
};
