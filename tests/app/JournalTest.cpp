// The station journal's file: what each text of it says, whatever was cut off or damaged, and
// what reading it at start-up does with the file.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

#include "app/core/Journal.h"

namespace {

using journal::Entry;
using journal::Line;
using journal::Opening;
using journal::Read;
using journal::Reading;
using journal::Record;

Entry PrintJob() {
    Entry e;
    e.id = 42;
    e.cartao = 12;
    e.fingerprint = journal::Fingerprint(7, false, 12, 1, QStringLiteral("MESA 4"),
                                         QStringLiteral("1 Bica\r\n"));
    e.logged = QDateTime(QDate(2024, 5, 1), QTime(12, 34, 56, 789));
    return e;
}

Entry DrawerJob() {
    Entry e;
    e.id = 43;
    e.drawer = true;
    e.fingerprint = journal::Fingerprint(7, true, std::nullopt, 0, QString(), QString());
    return e;
}

// A job's whole journal, and the entry each of its lines leaves: the stages a cycle goes through.
struct Stages {
    QByteArray text;
    std::vector<std::optional<Entry>> afterLine; // [n]: the entry n whole lines give
};

Stages StagesOf(Entry e) {
    Stages s;
    s.afterLine.push_back(std::nullopt);
    s.afterLine.push_back(std::nullopt); // the header alone: no job in hand
    Entry first = e;
    first.logged.reset();
    s.afterLine.push_back(first);
    if (e.logged)
        s.afterLine.push_back(e);
    s.text = Opening(7, e);
    const std::vector<Record> records =
        e.drawer ? std::vector{Record::Pulsed, Record::Done}
                 : std::vector{Record::CardFed, Record::CardComplete, Record::Done};
    for (const Record record : records) {
        s.text += Line(record);
        e.Has(record) = true;
        s.afterLine.push_back(e);
    }
    return s;
}

class JournalText : public ::testing::TestWithParam<bool> {
protected:
    Stages stages = StagesOf(GetParam() ? DrawerJob() : PrintJob());
};

// Cut at any byte, as a power cut in the middle of a write leaves the file, the text gives the
// entry of its whole lines: the step after the cut record was never taken.
TEST_P(JournalText, EveryCutGivesTheEntryOfItsWholeLines) {
    const QByteArray& text = stages.text;
    for (qsizetype length = 0; length <= text.size(); ++length) {
        const QByteArray cut = text.left(length);
        const Reading reading = Read(cut, 7);
        ASSERT_TRUE(reading.unreadable.isEmpty())
            << "at " << length << ": " << reading.unreadable.toStdString();
        EXPECT_EQ(reading.torn, length > 0 && cut.back() != '\n') << "at " << length;
        EXPECT_EQ(reading.entry, stages.afterLine[cut.count('\n')]) << "at " << length;
    }
}

// A changed byte anywhere is either the damage that sets the file aside or, in the last lines,
// a cut: never a record that was not written.
TEST_P(JournalText, ADamagedByteNeverAddsARecord) {
    const QByteArray& text = stages.text;
    for (qsizetype at = 0; at < text.size(); ++at) {
        for (const char change : {'\x01', '\x20', '\x0B'}) {
            QByteArray damaged = text;
            damaged[at] = static_cast<char>(damaged[at] ^ change);
            const Reading reading = Read(damaged, 7);
            if (!reading.unreadable.isEmpty()) {
                EXPECT_FALSE(reading.entry);
                EXPECT_EQ(reading.unreadableForOperator, QStringLiteral("está danificado"));
                continue;
            }
            // Read as cut short: what it says is what an earlier stage said.
            EXPECT_TRUE(reading.torn) << "at " << at;
            const qsizetype lineOfByte = text.left(at).count('\n');
            bool earlier = false;
            for (qsizetype n = 0; n <= lineOfByte; ++n)
                earlier = earlier || reading.entry == stages.afterLine[n];
            EXPECT_TRUE(earlier) << "at " << at;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, JournalText, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Drawer" : "Print"; });

TEST(JournalFile, WhatCannotBeUsedSaysWhy) {
    const QByteArray good = Opening(7, PrintJob());
    const struct {
        const char* name;
        QByteArray text;
        const char* forOperator;
    } cases[] = {
        {"another station", Opening(3, PrintJob()), "é de outro posto (3)"},
        {"another format", journal::Checked("plinova-journal 2 posto 7") + Line(Record::Done),
         "foi escrito por outra versão do programa"},
        {"not a journal", QByteArray("[OPCOES]\r\nPosto=7\r\n"), "está danificado"},
        {"zeros", QByteArray(40, '\0'), "está danificado"},
        {"a second history row", good + good.mid(good.indexOf("\nhistory") + 1), "está danificado"},
        {"a pulse on a print job", good + Line(Record::Pulsed), "está danificado"},
        {"a record after done", good + Line(Record::Done) + Line(Record::CardComplete),
         "está danificado"},
        {"a card printed after it was let go",
         good + Line(Record::CardComplete) + Line(Record::CardFed), "está danificado"},
        {"a drawer's card", Opening(7, DrawerJob()) + Line(Record::CardComplete),
         "está danificado"},
        {"a damaged line before a whole one",
         good.left(good.size() - 3) + "\n" + Line(Record::Done), "está danificado"},
    };
    for (const auto& c : cases) {
        const Reading reading = Read(c.text, 7);
        EXPECT_FALSE(reading.unreadable.isEmpty()) << c.name;
        EXPECT_EQ(reading.unreadableForOperator, QString::fromUtf8(c.forOperator)) << c.name;
        EXPECT_FALSE(reading.entry) << c.name;
    }
    EXPECT_TRUE(Read(QByteArray(), 7).unreadable.isEmpty()) << "an empty file holds no job";
    EXPECT_EQ(Read(QByteArray(good).replace("\r\n", "\n"), 7).entry, PrintJob())
        << "line feeds alone";
}

// Each column the cycle reads changes the fingerprint.
TEST(JournalFile, TheFingerprintTellsRowsApart) {
    using journal::Fingerprint;
    const QString k = QStringLiteral("K"), d = QStringLiteral("1 Bica");
    const QByteArray base = Fingerprint(7, false, 12, 1, k, d);
    EXPECT_EQ(base, Fingerprint(7, false, 12, 1, k, d));
    EXPECT_EQ(base.size(), 16);
    for (const QByteArray& other :
         {Fingerprint(8, false, 12, 1, k, d), Fingerprint(7, true, 12, 1, k, d),
          Fingerprint(7, false, std::nullopt, 1, k, d), Fingerprint(7, false, 0, 1, k, d),
          Fingerprint(7, false, 12, 0, k, d), Fingerprint(7, false, 12, 1, QString(), d),
          Fingerprint(7, false, 12, 1, k + d, QString()), Fingerprint(7, false, 12, 1, k, d + ' ')})
        EXPECT_NE(other, base);
}

// The journal in a folder: loaded, written and set aside, with a writer a test can make fail.
class StationJournalFile : public ::testing::Test {
protected:
    QString Path() const { return dir.filePath(QLatin1String(journal::kFileName)); }
    QString Aside() const { return dir.filePath(QLatin1String(journal::kSetAsideName)); }
    void Put(const QByteArray& bytes) {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray Contents() const {
        QFile f(Path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    journal::StationJournal Journal() {
        return journal::StationJournal(
            Path(),
            [this](const std::string& path, const std::string& bytes, platform::DurableMode mode) {
                ++writes;
                return failWrite == writes ? std::string("write " + path + ": Input/output error")
                                           : platform::WriteFileDurably(path, bytes, mode);
            });
    }

    QTemporaryDir temporary;
    QDir dir{temporary.path()};
    int writes = 0;
    int failWrite = 0;
};

TEST_F(StationJournalFile, ACutLastLineIsLeftOutAndTheFileWrittenWhole) {
    const QByteArray whole = Opening(7, PrintJob());
    Put(whole + Line(Record::CardComplete).left(5));
    journal::StationJournal j = Journal();
    const journal::Loaded loaded = j.Load(7);
    EXPECT_TRUE(loaded.notice.isEmpty()) << "a power cut's trace is no news for the operator";
    ASSERT_EQ(loaded.log.size(), 1);
    EXPECT_TRUE(loaded.log[0].contains(QStringLiteral("cut short")));
    EXPECT_EQ(j.Current(), PrintJob());
    EXPECT_EQ(Contents(), whole);
    j.Append(Record::CardComplete);
    EXPECT_EQ(Contents(), whole + Line(Record::CardComplete));
    EXPECT_EQ(Read(Contents(), 7).entry->cardComplete, true);
}

TEST_F(StationJournalFile, AnUnreadableFileIsSetAsideAndTheOperatorTold) {
    const QByteArray foreign = Opening(3, PrintJob());
    Put(foreign);
    journal::StationJournal j = Journal();
    const journal::Loaded loaded = j.Load(7);
    EXPECT_EQ(loaded.notice,
              QStringLiteral("O diário de impressão Plinova.jnl é de outro posto (3) e "
                             "foi posto de parte como Plinova.jnl.unreadable.\nA "
                             "impressão continua; o trabalho que estava em curso "
                             "quando o programa parou pode sair outra vez."));
    ASSERT_EQ(loaded.log.size(), 1);
    EXPECT_TRUE(loaded.log[0].contains(QStringLiteral("belongs to station 3")))
        << loaded.log[0].toStdString();
    EXPECT_FALSE(j.Current());
    EXPECT_FALSE(QFile::exists(Path()));
    QFile aside(Aside());
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), foreign);
}

// A failed write names the file and the reason; the records after it are refused until the
// next job starts the file again.
TEST_F(StationJournalFile, AFailedWriteRefusesTheRecordsAfterIt) {
    journal::StationJournal j = Journal();
    j.Load(7);
    j.Begin(PrintJob());
    failWrite = 2;
    try {
        j.Append(Record::CardComplete);
        ADD_FAILURE() << "the write failed";
    } catch (const journal::JournalError& e) {
        EXPECT_EQ(std::string(e.what()), "The station journal cannot be written: write " +
                                             Path().toStdString() + ": Input/output error");
    }
    EXPECT_FALSE(j.Current()->cardComplete);
    EXPECT_THROW(j.Append(Record::Done), journal::JournalError);
    EXPECT_EQ(writes, 2) << "refused without a write";
    j.Begin(DrawerJob());
    j.Append(Record::Pulsed);
    EXPECT_EQ(Read(Contents(), 7).entry->pulsed, true);
}

} // namespace
