// The port's device locked by another program at start-up, as POSIX programs lock a serial
// device. (Held by a second window of the same program: StartupTest
// RefusesToRunWhenThePortCannotBeOpened.)
#include <QProcess>
#include <QStandardPaths>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "EventLoopWait.h"
#include "MainWindow.h"
#include "Station.h"

namespace {

using namespace std::chrono_literals;
using printer::kInitialisationEnd;

TEST(PortHeld, AnotherProgramLockingTheDeviceKeepsTheSpoolerOut) {
    const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
    if (flock.isEmpty())
        GTEST_SKIP() << "no flock program to hold the device";
    Station st;
    st.WriteDefaults();
    QProcess holder;
    holder.start(flock,
                 {QStringLiteral("--no-fork"), QString::fromStdString(st.Printer().DevicePath()),
                  QStringLiteral("sleep"), QStringLiteral("30")});
    ASSERT_TRUE(holder.waitForStarted());
    const int probe = ::open(st.Printer().DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (::flock(probe, LOCK_EX | LOCK_NB) != 0)
                return true;
            ::flock(probe, LOCK_UN);
            return false;
        },
        10s));
    ::close(probe);

    auto w = st.Start();
    EXPECT_TRUE(w->Terminated());
    EXPECT_EQ(st.messages, QStringList{QStringLiteral(
                               "Aviso: Não é possível abrir a porta da certificadora!\nNão é "
                               "possível executar a aplicação!")});
    EXPECT_EQ(st.Printer().Received(), "");

    holder.kill();
    holder.waitForFinished();
    st.messages.clear();
    w = st.Start();
    EXPECT_FALSE(w->Terminated()) << st.messages.join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(st.Printer().WaitFor(kInitialisationEnd, 10s));
}

} // namespace
