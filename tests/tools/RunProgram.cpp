#include "RunProgram.h"

#include <QProcess>
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

} // namespace

bool CanDropPrivileges() {
    return geteuid() == 0;
}

ProgramResult RunProgram(const QString& program, const QStringList& args, const ProgramRun& run) {
    QProcess p;
    if (!run.workingFolder.isEmpty())
        p.setWorkingDirectory(run.workingFolder);
    p.setProcessEnvironment(run.environment);
    if (run.unprivileged && CanDropPrivileges()) {
        p.setChildProcessModifier([] {
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(127);
        });
    }
    p.start(program, args);
    p.write(run.input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000)) << program.toStdString() << " did not end";
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
