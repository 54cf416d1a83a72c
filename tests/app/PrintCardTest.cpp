#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "MainWindow.h"
#include "Station.h"
#include "WriteLog.h"
#include "app/core/Card.h"

namespace {

using namespace std::chrono_literals;

using printer::kLargeFont;
using printer::kSmallFont;
using printer::kStatusRequest;

// A station whose cycles are run by hand, with the printer's output after the
// initialisation sequence.
class PrintCardTest : public ::testing::Test {
protected:
    void Start(int protocol, const char* offset = nullptr) {
        st.WriteDefaults(protocol);
        if (offset)
            st.Sql(QStringLiteral("INSERT INTO configpostos (posto, seccao, chave, valor) VALUES "
                                  "(0, 'GLOBAL', 'OFFSET INICIAL', '%1')")
                       .arg(QLatin1String(offset)));
        w = st.StartStopped();
        ASSERT_FALSE(w->Terminated());
        ASSERT_TRUE(st.PrinterInitialised());
    }

    std::string CardBytes() { return st.Printer().CardBytes(); }

    static int StatusRequestsIn(const std::string& bytes) {
        int requests = 0;
        for (std::size_t p = bytes.find(kStatusRequest); p != std::string::npos;
             p = bytes.find(kStatusRequest, p + 1))
            ++requests;
        return requests;
    }

    Station st;
    std::unique_ptr<Tmain> w;
};

// The pauses are timed on the spooler's side (WriteLog), where they cannot look shorter than
// they were however late the printer reads.
TEST_F(PrintCardTest, TwoLinesWithTitleAndOffsetByteForByte) {
    Start(0, "2");
    WriteLog writes(SpoolerProbe(w->Core()).Port());
    st.AddJob(7, 0, 1, 1, QStringLiteral("K"), QStringLiteral("L1\r\nL2"));
    Cycle(w->Core());
    ASSERT_TRUE(st.messages.isEmpty()) << st.messages.join("|").toStdString();
    EXPECT_EQ(CardBytes(),
              "\r\n\r\n" + kLargeFont + "K\r\n" + kSmallFont + "L1\r\nL2\r\n\x0C\x1B\x71");
    EXPECT_GE(writes.Gap("\r\n\r\n", kLargeFont), 200);
    EXPECT_GE(writes.Gap("K\r\n", kSmallFont), 200);
    EXPECT_GE(writes.Gap(kSmallFont, "L1"), 50);
    EXPECT_GE(writes.Gap("L1\r\n", "L2"), 200);
    EXPECT_GE(writes.Gap("L2\r\n", "\x0C"), 200);
    EXPECT_GE(writes.Gap("\x0C", "\x1B\x71"), 50);

    // The title is printed once: a reprint that follows has none.
    st.Printer().Clear();
    SpoolerProbe(w->Core()).StartPolling();
    Handler(*w, [&] { w->btprintClick(); });
    EXPECT_EQ(CardBytes(), "\r\n\r\n" + kSmallFont + "\x0C\x1B\x71");
}

TEST_F(PrintCardTest, WithoutTitleAndWithoutOffset) {
    for (const char* offset : {"0", "-3"}) {
        SCOPED_TRACE(offset);
        Start(0, offset);
        st.AddJob(7, 0, 1, 0, QStringLiteral("unused"), QStringLiteral("Linha\r\n"));
        Cycle(w->Core());
        EXPECT_EQ(CardBytes(), kSmallFont + "Linha\r\n\x0C\x1B\x71");
        w.reset();
        st.Sql("DELETE FROM configpostos");
    }
}

// A pause that should be gone measures no more than the moment between two writes. A pause
// that is there measures at least its length (50 ms at the least), so the bound below never
// lets one pass; it fails without a pause only if the spooler's thread is held up 45 ms between
// two writes.
TEST_F(PrintCardTest, FlowControlLeavesOnlyTheFixedPauses) {
    Start(1, "1");
    WriteLog writes(SpoolerProbe(w->Core()).Port());
    st.AddJob(7, 0, 1, 1, QStringLiteral("K"), QStringLiteral("A\r\nB"));
    Cycle(w->Core());
    EXPECT_EQ(CardBytes(), "\r\n" + kLargeFont + "K\r\n" + kSmallFont + "A\r\nB\r\n\x0C\x1B\x71");
    // Kept: 200 ms after each text line.
    EXPECT_GE(writes.Gap("A\r\n", "B"), 200);
    EXPECT_GE(writes.Gap("B\r\n", "\x0C"), 200);
    // Gone: the pauses after the offset, the title, the print mode and the form feed.
    EXPECT_LT(writes.Gap("\r\n", kLargeFont), 45);
    EXPECT_LT(writes.Gap("K\r\n", kSmallFont), 45);
    EXPECT_LT(writes.Gap(kSmallFont, "A"), 45);
    EXPECT_LT(writes.Gap("\x0C", "\x1B\x71"), 45);
}

TEST_F(PrintCardTest, OneReplyByteIsReadPerPass) {
    Start(0);
    st.Printer().SetInsertAfter(1000);
    // The card reply comes behind two other bytes: it is found on the third pass.
    st.Printer().Script({std::string("\x10\x10\x12")});
    st.AddJob(7, 0, 1, 0, QString(), QStringLiteral("x"));
    Cycle(w->Core());
    const std::string got = st.Printer().Received();
    EXPECT_EQ(StatusRequestsIn(got.substr(0, got.find(kSmallFont))), 3);
}

TEST_F(PrintCardTest, RemovalCountsOnlyTheLastByteOfAPass) {
    for (const char* replies : {"\x12\x72", "\x72\x12"}) {
        SCOPED_TRACE(replies[0] == 0x12 ? "12 72" : "72 12");
        Start(0);
        st.Printer().SetRemoveAfter(2);
        st.Printer().Script({std::string("\x12"), std::string(replies)});
        st.AddJob(7, 0, 1, 0, QString(), QStringLiteral("x"));
        Cycle(w->Core());
        const std::string got = st.Printer().Received();
        EXPECT_EQ(StatusRequestsIn(got.substr(got.find(printer::kRelease))),
                  replies[0] == 0x12 ? 1 : 2);
        EXPECT_EQ(w->Ui().status->text(), QStringLiteral("Pronto"));
        w.reset();
    }
}

TEST_F(PrintCardTest, StaleStartupReplyIsDropped) {
    Start(0);
    st.Printer().SetInsertAfter(2);
    // Card-in-place bytes left over from before the print (the answer to the start-up status
    // request, and one more) must not count as a reply.
    st.Printer().Send("\x12");
    ASSERT_TRUE(WaitUntil([&] { return SpoolerProbe(w->Core()).Port().InputQueued() == 2; }, 10s));
    st.AddJob(7, 0, 1, 0, QString(), QStringLiteral("x"));
    Cycle(w->Core());
    const std::string got = st.Printer().Received();
    const std::string beforeCard = got.substr(0, got.find(kSmallFont));
    EXPECT_EQ(beforeCard, kStatusRequest + kStatusRequest);
}

TEST_F(PrintCardTest, TitleFlagStaysOnForAJobWithoutLines) {
    Start(0);
    st.AddJob(7, 0, 1, 1, QStringLiteral("KEY"), QString());
    Cycle(w->Core());
    EXPECT_EQ(CardBytes(), std::string("\x0C\x1B\x71"));
    // The reprint that follows prints the keyword as its title.
    st.Printer().Clear();
    st.Sql("INSERT INTO historico (id, titulo, dados, palavrachave, cartao, previsao) VALUES (999, "
           "0, 'again', '', 2, 'again')");
    SpoolerProbe(w->Core()).StartPolling();
    Handler(*w, [&] { w->btmodClick(); });
    Handler(*w, [&] { w->btprintClick(); });
    EXPECT_EQ(CardBytes(), kLargeFont + "KEY\r\n" + kSmallFont + "again\r\n\x0C\x1B\x71");
}

TEST_F(PrintCardTest, LongLinesWrapAsTheMemoShowsThem) {
    Start(0);
    const QString words = QStringLiteral(
        "um dois tres quatro cinco seis sete oito nove dez onze doze treze catorze quinze");
    st.AddJob(7, 0, 1, 0, QString(), words + QStringLiteral("\r\n\r\nfim\r\n"));
    Cycle(w->Core());
    const std::vector<std::string> lines =
        card::WrapLines(words + QStringLiteral("\r\n\r\nfim\r\n"));
    ASSERT_GE(lines.size(), 4u);
    std::string joined;
    for (std::size_t i = 0; i + 2 < lines.size(); ++i)
        joined += lines[i];
    EXPECT_EQ(joined, words.toStdString()) << "wrapped at word boundaries, nothing lost";
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back(), "fim");
    std::string expected = kSmallFont;
    for (const std::string& l : lines)
        expected += l + "\r\n";
    EXPECT_EQ(CardBytes(), expected + "\x0C\x1B\x71");
}

TEST_F(PrintCardTest, BadTextIsPrintedWithoutACrash) {
    Start(0);
    QString text = QStringLiteral("tab\there 日本 \U0001F600 zero:");
    text += QChar(0);
    text += QStringLiteral("end");
    st.AddJob(7, 0, 1, 1, QString(255, QLatin1Char('K')), text);
    Cycle(w->Core());
    ASSERT_TRUE(st.messages.isEmpty()) << st.messages.join("|").toStdString();
    const std::string card = CardBytes();
    EXPECT_NE(card.find(std::string(255, 'K') + "\r\n"), std::string::npos);
    EXPECT_NE(card.find("tab\there ?? ? zero:"), std::string::npos);
}

} // namespace
