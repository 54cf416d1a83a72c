// The entries that start a station's spooler, written and read back the way this system keeps
// them (desktop entries on Linux, shell links through COM on Windows), in a test's own folder.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "StartEntries.h"

namespace {

class StartEntries : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        // A program and a folder whose names need quoting and escaping, with letters outside
        // ASCII, as an installation's and a station's may have.
        ASSERT_TRUE(QDir(root.path()).mkpath(QString::fromUtf8("Program Files (x86)/100% $1")));
        program = Path(QString::fromUtf8("Program Files (x86)/100% $1/plinova.exe"));
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(QDir(root.path()).mkpath(QString::fromUtf8("estação 1")));
        folder = Path(QString::fromUtf8("estação 1"));
    }

    QString Path(const QString& relative) const { return QDir(root.path()).filePath(relative); }

    // The same file whatever separators the system gives back.
    static QString Clean(const QString& path) {
        return QDir::cleanPath(QDir::fromNativeSeparators(path));
    }

    QTemporaryDir root;
    QString program;
    QString folder;
};

TEST_F(StartEntries, RunTheProgramInTheStationFolder) {
    const QString entry = Path("menu/entry");
    WriteStartEntry(entry, folder, 12, program);

    const std::optional<StartEntry> read = ReadStartEntry(entry);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(Clean(read->program).toStdString(), Clean(program).toStdString());
    EXPECT_EQ(read->arguments.toStdString(), "");
    EXPECT_TRUE(SameFolder(read->folder, folder)) << read->folder.toStdString();
    EXPECT_FALSE(SameFolder(read->folder, Path("estação 2")));
#ifdef _WIN32
    // The station command compares the folder it is given, in the case it is typed.
    EXPECT_TRUE(SameFolder(read->folder, QDir::toNativeSeparators(folder.toUpper())));
#endif
}

TEST_F(StartEntries, ReplaceTheEntryOfAnotherFolderWhole) {
    const QString entry = Path("Startup/entry");
    const QString other = Path("other");
    ASSERT_TRUE(QDir().mkpath(other));
    WriteStartEntry(entry, other, 1, program);
    WriteStartEntry(entry, folder, 2, program);

    const std::optional<StartEntry> read = ReadStartEntry(entry);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(SameFolder(read->folder, folder)) << read->folder.toStdString();
    // Nothing half written is left beside it.
    EXPECT_EQ(QDir(Path("Startup")).entryList(QDir::Files), QStringList{"entry"});
}

TEST_F(StartEntries, ReadAnEntryWhoseProgramIsGone) {
    // Named as the system names it: Qt on Windows takes a .lnk file for a link to its program.
    const QString entry = Path("Startup/Plinova.lnk");
    WriteStartEntry(entry, folder, 1, program);
    ASSERT_TRUE(QFile::remove(program));

    const std::optional<StartEntry> read = ReadStartEntry(entry);
    ASSERT_TRUE(read.has_value()) << "an uninstalled program's entry still starts a station";
    EXPECT_TRUE(SameFolder(read->folder, folder)) << read->folder.toStdString();
}

TEST_F(StartEntries, TellNoEntryFromOneThatStartsNoKnownFolder) {
    EXPECT_FALSE(ReadStartEntry(Path("absent/entry")).has_value());

    // A file this system cannot read as an entry starts some folder that cannot be told.
    QFile foreign(Path("entry"));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write(QByteArray("\x4c\x00\x00\x00 not a link\n", 16));
    foreign.close();
    const std::optional<StartEntry> read = ReadStartEntry(Path("entry"));
    ASSERT_TRUE(read.has_value());
    EXPECT_FALSE(SameFolder(read->folder, folder));
}

TEST_F(StartEntries, RefuseToWriteWhereNoFolderCanBeMade) {
    QFile file(Path("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    try {
        WriteStartEntry(Path("file/Startup/entry"), folder, 1, program);
        FAIL() << "written under a file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Startup"), std::string::npos) << e.what();
    }
}

} // namespace
