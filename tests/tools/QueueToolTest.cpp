#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "TestDatabase.h"

namespace {

struct Result {
    int code;
    QString out;
    QString err;
};

// The queue tool run on a data link file of its own, as another program of the
// installation would run it.
class QueueTool : public ::testing::TestWithParam<dbtest::Backend> {
protected:
    void SetUp() override {
        PLINOVA_REQUIRE_BACKEND(GetParam());
        database = dbtest::TestDatabase::Create(GetParam());
    }

    Result Run(const QStringList& args, const QByteArray& input = {}) {
        QProcess p;
        p.setWorkingDirectory(database->Folder());
        p.start(QStringLiteral(QUEUE_PROGRAM),
                QStringList{"--udl", database->DataLinkPath()} + args);
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    std::unique_ptr<dbtest::TestDatabase> database;
};

TEST_P(QueueTool, QueuesListsAndConfigures) {
    ASSERT_EQ(Run({"init"}).code, 0) << "init is safe to run on existing tables";
    EXPECT_EQ(Run({"add", "--station", "3", "--card", "12", "--title", "--keyword", "MESA 1",
                   "--text", "Açúcar\n2 cafés"})
                  .code,
              0);
    QFile file(database->Folder() + "/job.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("from a file\r\n");
    file.close();
    EXPECT_EQ(Run({"add", "--station", "3", "--file", file.fileName()}).code, 0);
    EXPECT_EQ(Run({"add", "--station", "4", "--stdin"}, "from standard input\n").code, 0);
    EXPECT_EQ(Run({"drawer", "--station", "3", "--card", "9"}).code, 0);
    EXPECT_EQ(Run({"config", "offset inicial", "2"}).code, 0);
    EXPECT_EQ(Run({"config", "OFFSET INICIAL", "3"}).code, 0)
        << "a second value replaces the first";

    const Result list = Run({"list", "--station", "3"});
    ASSERT_EQ(list.code, 0) << list.err.toStdString();
    const QStringList lines = list.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << list.out.toStdString();
    // Job lines are stored with CR LF, shown escaped on one line.
    EXPECT_TRUE(lines[1].endsWith("\t3\t0\t12\t1\tMESA 1\tAçúcar\\n2 cafés"))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith("\tfrom a file\\n")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].contains("\t3\t1\t9\t0\t")) << lines[3].toStdString();
    EXPECT_EQ(Run({"list"}).out.split('\n', Qt::SkipEmptyParts).size(), 5);
    EXPECT_EQ(Run({"history"}).out.split('\n', Qt::SkipEmptyParts).size(), 1);
}

TEST_P(QueueTool, BadUseFailsWithAMessage) {
    const Result unknown = Run({"frobnicate"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_TRUE(unknown.err.contains("unknown command")) << unknown.err.toStdString();
    EXPECT_EQ(Run({"add", "--station", "x", "--text", "t"}).code, 2);
    EXPECT_EQ(Run({"add", "--station", "1"}).code, 2) << "no text given";
    EXPECT_EQ(Run({"add", "--station", "1", "--keyword", QString(256, 'k'), "--text", "t"}).code,
              2);
    EXPECT_EQ(Run({"add", "--station", "1", "--file", "/nonexistent/job.txt"}).code, 1);
    EXPECT_EQ(Run({"list"}).out.split('\n', Qt::SkipEmptyParts).size(), 1) << "nothing was queued";
}

INSTANTIATE_TEST_SUITE_P(Backends, QueueTool, ::testing::ValuesIn(dbtest::AllBackends()),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

TEST(QueueToolDatabase, MissingDataLinkNamesTheFile) {
    QTemporaryDir dir;
    QProcess p;
    p.start(QStringLiteral(QUEUE_PROGRAM), {"--udl", dir.path() + "/Molvar.udl", "list"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains("Molvar.udl"));
}

} // namespace
