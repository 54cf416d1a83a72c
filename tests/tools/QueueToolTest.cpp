#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "RunProgram.h"
#include "TestDatabase.h"
#include "db/Command.h"
#include "db/Connection.h"

namespace {

// The queue tool run on a data link file of its own, as another program of the
// installation would run it.
class QueueTool : public ::testing::TestWithParam<dbtest::Backend> {
protected:
    void SetUp() override {
        PLINOVA_REQUIRE_BACKEND(GetParam());
        database = dbtest::TestDatabase::Create(GetParam());
    }

    ProgramResult Run(const QStringList& args, const QByteArray& input = {}) {
        ProgramRun run;
        run.workingFolder = database->Folder();
        run.input = input;
        return RunProgram(QStringLiteral(QUEUE_PROGRAM),
                          QStringList{"--udl", database->DataLinkPath()} + args, run);
    }

    void Sql(const QString& statement) {
        db::TDbConnection cn;
        cn.SetConnectionString(database->ConnectionString());
        db::TDbCommand command(&cn);
        command.SetSQL({statement});
        command.Execute();
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

    const ProgramResult list = Run({"list", "--station", "3"});
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
    const ProgramResult unknown = Run({"frobnicate"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_TRUE(unknown.err.contains("unknown command")) << unknown.err.toStdString();
    EXPECT_EQ(Run({"add", "--station", "x", "--text", "t"}).code, 2);
    EXPECT_EQ(Run({"add", "--station", "1"}).code, 2) << "no text given";
    EXPECT_EQ(Run({"add", "--station", "1", "--keyword", QString(256, 'k'), "--text", "t"}).code,
              2);
    EXPECT_EQ(Run({"add", "--station", "1", "--file", "/nonexistent/job.txt"}).code, 1);
    EXPECT_EQ(Run({"stations", "--over", "0"}).code, 2);
    EXPECT_EQ(Run({"list"}).out.split('\n', Qt::SkipEmptyParts).size(), 1) << "nothing was queued";
}

// A station whose first job does not move while the command looks twice is not taking jobs;
// one whose first job was taken in between is; one whose queue emptied is not listed.
TEST_P(QueueTool, StationsShowsWhichStationsStoppedTakingJobs) {
    for (const auto& [station, card] : {std::pair{1, 11}, {1, 12}, {2, 21}, {2, 22}, {3, 31}})
        ASSERT_EQ(Run({"add", "--station", QString::number(station), "--card",
                       QString::number(card), "--text", "t"})
                      .code,
                  0);
    const ProgramResult once = Run({"stations"});
    ASSERT_EQ(once.code, 0) << once.err.toStdString();
    QStringList rows = once.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 4) << once.out.toStdString();
    EXPECT_EQ(rows[0], "posto\tqueued\tfirst\tcartao");
    // The first job is the one the spooler takes next: the first of its station queued here.
    const QStringList station2 = rows[2].split('\t');
    ASSERT_EQ(station2.size(), 4);
    EXPECT_EQ(station2[0], "2");
    EXPECT_EQ(station2[1], "2");
    EXPECT_EQ(station2[3], "21");
    EXPECT_TRUE(rows[3].startsWith("3\t1\t")) << rows[3].toStdString();

    QProcess watch;
    watch.start(QStringLiteral(QUEUE_PROGRAM),
                {"--udl", database->DataLinkPath(), "stations", "--over", "4"});
    watch.setReadChannel(QProcess::StandardError);
    QString said;
    while (!said.contains("looking again") && watch.waitForReadyRead(30000))
        said += ProgramText(watch.readAllStandardError());
    ASSERT_TRUE(said.contains("looking again")) << said.toStdString();
    // Between the two looks station 2's spooler takes its first job and station 3's its only.
    Sql("DELETE FROM printer WHERE id = " + station2[2]);
    Sql("DELETE FROM printer WHERE posto = 3");
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitCode(), 3);
    rows = ProgramText(watch.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3) << rows.join('\n').toStdString();
    EXPECT_EQ(rows[0], "posto\tqueued\tfirst\tcartao\tstate");
    EXPECT_TRUE(rows[1].startsWith("1\t2\t") && rows[1].endsWith("\t11\tnot taking jobs"))
        << rows[1].toStdString();
    EXPECT_TRUE(rows[2].startsWith("2\t1\t") && rows[2].endsWith("\t22\ttaking jobs"))
        << rows[2].toStdString();

    Sql("DELETE FROM printer");
    const ProgramResult idle = Run({"stations", "--over", "1"});
    EXPECT_EQ(idle.code, 0) << "no station waits, so none has stopped";
    EXPECT_EQ(idle.out.split('\n', Qt::SkipEmptyParts).size(), 1) << idle.out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, QueueTool, ::testing::ValuesIn(dbtest::AllBackends()),
                         [](const auto& info) { return dbtest::BackendName(info.param); });

TEST(QueueToolDatabase, MissingDataLinkNamesTheFile) {
    QTemporaryDir dir;
    const ProgramResult r =
        RunProgram(QStringLiteral(QUEUE_PROGRAM), {"--udl", dir.path() + "/Molvar.udl", "list"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("Molvar.udl")) << r.err.toStdString();
}

} // namespace
