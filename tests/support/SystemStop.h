#pragma once

#include <QProcessEnvironment>
#include <cstdint>
#include <string>

// The requests to stop a program that the system makes, sent as the system sends them, so
// that the tests of the spooler's stop rules run on every system: on POSIX the signals
// SIGTERM (a service manager, a shut-down) and SIGINT (Ctrl+C); on Windows a close message
// from another program (what taskkill without /F posts to the program's windows) and the
// session ending (a log-off or a shut-down: the query, then the end).
enum class SystemStop { Terminate, Interrupt };

// "Term" and "Int" on POSIX, "CloseMessage" and "SessionEnd" on Windows.
std::string Name(SystemStop stop);

// Asks the process (this one too) to stop; it is read when the process next reads its events.
void SendSystemStop(SystemStop stop, std::int64_t processId);
std::int64_t ThisProcessId();

// Whether a stop sent to this process reaches its windows: on Windows only a native window
// takes the system's messages, and Qt's off-screen platform makes none.
bool SystemStopReachesThisProcess();
// The environment for a program that a test starts and stops: on Windows it must show native
// windows, so the off-screen platform the test runs on is not handed down.
QProcessEnvironment StoppableProgramEnvironment();
