#include "RunProgram.h"

#include <QProcess>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <grp.h>
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
constexpr uid_t kNobody = 65534;
#endif

} // namespace

// A Windows program runs with the rights of whoever starts it: there is no user to drop to.
bool CanDropPrivileges() {
#ifdef _WIN32
    return false;
#else
    return geteuid() == 0;
#endif
}

QString ProgramText(const QByteArray& output) {
    return QString::fromUtf8(output).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

ProgramResult RunProgram(const QString& program, const QStringList& args, const ProgramRun& run) {
    QProcess p;
    if (!run.workingFolder.isEmpty())
        p.setWorkingDirectory(run.workingFolder);
    p.setProcessEnvironment(run.environment);
#ifndef _WIN32
    if (run.unprivileged && CanDropPrivileges()) {
        p.setChildProcessModifier([] {
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(127);
        });
    }
#endif
    p.start(program, args);
    p.write(run.input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000)) << program.toStdString() << " did not end";
    return {p.exitCode(), ProgramText(p.readAllStandardOutput()),
            ProgramText(p.readAllStandardError())};
}
