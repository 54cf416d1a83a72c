#include "DataLinkLocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// A program copied into the station folder finds its data link file beside it, as ever; an
// installed program in a shared folder finds the station folder's.
TEST(DataLinkLocation, BesideTheProgramFirstThenTheStationFolder) {
    QTemporaryDir program;
    QTemporaryDir station;
    // The path in the system's own form, as the error messages name it.
    const QString beside =
        QDir::toNativeSeparators(QDir(program.path()).filePath(QStringLiteral("Molvar.udl")));
    const QString inStation =
        QDir::toNativeSeparators(QDir(station.path()).filePath(QStringLiteral("Molvar.udl")));

    EXPECT_EQ(DataLinkPath(program.path(), station.path()), inStation)
        << "with none anywhere, the error names the station folder's";
    Touch(inStation);
    EXPECT_EQ(DataLinkPath(program.path(), station.path()), inStation);
    Touch(beside);
    EXPECT_EQ(DataLinkPath(program.path(), station.path()), beside);
    QFile::remove(inStation);
    EXPECT_EQ(DataLinkPath(program.path(), station.path()), beside);
}

} // namespace
