#include "SystemStop.h"

#include <csignal>
#include <unistd.h>

std::string Name(SystemStop stop) {
    return stop == SystemStop::Terminate ? "Term" : "Int";
}

void SendSystemStop(SystemStop stop, std::int64_t processId) {
    ::kill(static_cast<pid_t>(processId), stop == SystemStop::Terminate ? SIGTERM : SIGINT);
}

std::int64_t ThisProcessId() {
    return ::getpid();
}

bool SystemStopReachesThisProcess() {
    return true;
}

QProcessEnvironment StoppableProgramEnvironment() {
    return QProcessEnvironment::systemEnvironment();
}
