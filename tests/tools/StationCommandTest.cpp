// The station command run as a program, as the person setting up a station runs it, with its
// own home folders so that its desktop entries land in the test's folder.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "RunProgram.h"
#include "db/DataLink.h"
#include "platform/ProfileFile.h"

namespace {

const QString kQueue = QStringLiteral(QUEUE_PROGRAM);

class StationCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        // Open to every user, for the cases run without privileges.
        QFile::setPermissions(home.path(), QFileDevice::Permissions(0x7777));
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", Path("config"));
        env.insert("XDG_DATA_HOME", Path("data"));
    }

    ProgramResult Station(const QStringList& args, bool unprivileged = false) {
        ProgramRun run;
        run.workingFolder = home.path();
        run.environment = env;
        run.unprivileged = unprivileged;
        return RunProgram(kQueue, QStringList{"station"} + args, run);
    }

    QString Path(const QString& relative) const { return QDir(home.path()).filePath(relative); }

    QByteArray Read(const QString& relative) const {
        QFile file(Path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void Write(const QString& relative, const QByteArray& bytes) const {
        QFile file(Path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // The folder that the login's entry starts the spooler in.
    QString StartedFolder() const {
        for (const QByteArray& line : Read("config/autostart/plinova.desktop").split('\n'))
            if (line.startsWith("Path="))
                return QString::fromUtf8(line.mid(5));
        return {};
    }

    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

TEST_F(StationCommand, WritesAStationTheSpoolerReads) {
    const QString folder = QString::fromUtf8("estação 1");
    const QString device = QString::fromUtf8("/dev/serial/by-id/usb-Técnica_0001-if00-port0");
    const ProgramResult r =
        Station({folder, "--station", "12", "--device", device, "--protocol", "1"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();

    // Windows-1252 with CR LF, the device's accented letter one byte.
    EXPECT_EQ(Read(folder + "/Plinova.ini"),
              QByteArray("[OPCOES]\r\nCertificadora=1\r\nProtocolo Certificadora=1\r\n"
                         "Hora limite=00:00\r\n"
                         "Dispositivo Certificadora=/dev/serial/by-id/usb-T\xE9"
                         "cnica_0001-if00-port0\r\n"));
    EXPECT_EQ(platform::ReadProfileString(Path(folder + "/Molvar.ini").toStdString(), "OPCOES",
                                          "Posto", "0", 5),
              "12");

    // The data link file as Windows writes it, naming the embedded database in the folder, and
    // private: another data link could hold a password.
    EXPECT_TRUE(Read(folder + "/Molvar.udl").startsWith("\xFF\xFE"));
    const db::DataLink link = db::ReadDataLinkFile(Path(folder + "/Molvar.udl"));
    EXPECT_EQ(link.kind, db::DataLinkKind::SQLite);
    EXPECT_EQ(QFileInfo(link.databaseName).absoluteFilePath(), Path(folder + "/station.db"));
    EXPECT_EQ(QFile::permissions(Path(folder + "/Molvar.udl")) &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());
    const ProgramResult list = RunProgram(kQueue, {"--udl", Path(folder + "/Molvar.udl"), "list"});
    EXPECT_EQ(list.code, 0) << "the tables are made: " << list.err.toStdString();

    // The login's entry and the menu's start the spooler in the folder.
    EXPECT_EQ(StartedFolder(), Path(folder));
    EXPECT_EQ(Read("data/applications/plinova.desktop"), Read("config/autostart/plinova.desktop"));
    EXPECT_TRUE(Read("config/autostart/plinova.desktop").contains("\nExec="));
}

TEST_F(StationCommand, RefusesBadSettingsBeforeWritingAnything) {
    const std::vector<QStringList> bad = {
        {"--station", "0"},
        {"--station", "10000"}, // the spooler reads four characters: 1000
        {"--station", "-1"},
        {"--station", "x"},
        {"--port", "0"},
        {"--protocol", "-1"},
        {"--device", "ttyUSB0"},
        {"--device", "/dev/ttyUSB0 "},
        {"--device", QString::fromUtf8("/dev/serial/by-id/usb-Привет")},
        {"--device", "/dev/ttyUSB0", "--port", "2"},
        {"--udl", "Provider=NoSuchProvider;Data Source=x"},
        {"--udl", "Provider=SQLite;Data Source=a.db\r\nProvider=SQLite;Data Source=b.db"},
    };
    for (const QStringList& args : bad) {
        const ProgramResult r = Station(QStringList{"s"} + args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Path("s")));
    EXPECT_FALSE(QFileInfo::exists(Path("config")));
}

TEST_F(StationCommand, RefusesToOverwriteAStationUnlessForced) {
    ASSERT_EQ(Station({"s", "--no-autostart"}).code, 0);
    EXPECT_FALSE(QFileInfo::exists(Path("config/autostart/plinova.desktop")));
    const QByteArray edited("[OPCOES]\r\nPosto=7\r\n");
    Write("s/Molvar.ini", edited);

    const ProgramResult refused = Station({"s", "--station", "2", "--no-autostart"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains("--force")) << refused.err.toStdString();
    EXPECT_EQ(Read("s/Molvar.ini"), edited);
    EXPECT_EQ(Station({"s", "--station", "2", "--no-autostart", "--force"}).code, 0);
    EXPECT_EQ(Read("s/Molvar.ini"), QByteArray("[OPCOES]\r\nPosto=2\r\n"));

    // The entries of another folder's station are replaced only when asked.
    ASSERT_EQ(Station({"a"}).code, 0);
    const ProgramResult other = Station({"b"});
    EXPECT_EQ(other.code, 1);
    EXPECT_TRUE(other.err.contains(Path("a"))) << other.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path("b/Plinova.ini")));
    EXPECT_EQ(Station({"b", "--force"}).code, 0);
    EXPECT_EQ(StartedFolder(), Path("b"));

    // A file where the folder should be.
    Write("file", "x");
    const ProgramResult notFolder = Station({"file", "--no-autostart"});
    EXPECT_EQ(notFolder.code, 1);
    EXPECT_TRUE(notFolder.err.contains("not a folder")) << notFolder.err.toStdString();
}

TEST_F(StationCommand, RefusesAFolderItCannotReadOrWrite) {
    ASSERT_TRUE(QDir().mkdir(Path("locked")));
    ASSERT_TRUE(QFile::setPermissions(Path("locked"), QFileDevice::Permissions()));
    const ProgramResult r = Station({"locked", "--no-autostart"}, true);
    QFile::setPermissions(Path("locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("cannot read and write")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path("locked/Plinova.ini")));
}

TEST_F(StationCommand, NamesTheSerialGroupAUserMustJoin) {
    if (geteuid() != 0) {
        // Run as this user, who must then be outside the group for the note to be due.
        const group* dialout = getgrnam("dialout");
        const passwd* user = getpwuid(geteuid());
        int count = 64;
        std::vector<gid_t> groups(64);
        if (dialout && user &&
            getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) >= 0)
            for (int i = 0; i < count; ++i)
                if (groups[static_cast<std::size_t>(i)] == dialout->gr_gid)
                    GTEST_SKIP() << "this user is in group dialout";
    }
    // A USB adapter not plugged in yet.
    const ProgramResult r =
        Station({"s", "--device", "/dev/serial/by-id/usb-absent-adapter", "--no-autostart"}, true);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("group dialout")) << r.err.toStdString();
}

} // namespace
