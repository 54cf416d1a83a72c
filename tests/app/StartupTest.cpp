#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

#include "MainWindow.h"
#include "Station.h"
#include "Wine.h"
#include "platform/ProfileFile.h"

namespace {

const QString kNoPort = QStringLiteral(
    "Aviso: Não é possível abrir a porta da certificadora!\nNão é possível executar a aplicação!");

TEST(Startup, AnyNonZeroValueEnablesThePrinter) {
    for (const char* value : {"-1", "2", "1"}) {
        Station st;
        st.WritePlinovaIni(
            {{"Certificadora", value}, {"Dispositivo Certificadora", st.Printer().DevicePath()}});
        auto w = st.Start();
        EXPECT_FALSE(w->Terminated()) << value;
        EXPECT_TRUE(st.messages.isEmpty()) << st.messages.join("|").toStdString();
    }
}

TEST(Startup, RefusesToRunWhenThePortCannotBeOpened) {
    Station st;
    // No port number and no device: COM0, which does not exist.
    st.WritePlinovaIni({{"Certificadora", "1"}});
    auto w = st.Start();
    EXPECT_TRUE(w->Terminated());
    EXPECT_EQ(st.messages, QStringList{kNoPort});

    // A port another program holds.
    if (RunningUnderWine())
        GTEST_SKIP() << "wine lets a second program open a port that one holds";
    Station busy;
    busy.WriteDefaults();
    auto first = busy.Start();
    ASSERT_FALSE(first->Terminated());
    auto second = busy.Start();
    EXPECT_TRUE(second->Terminated());
    EXPECT_EQ(busy.messages, QStringList{kNoPort});
}

TEST(Startup, ReadsSettingsAndInitialisesThePrinter) {
    Station st;
    st.WriteDefaults(1);
    st.WriteMolvarIni("12345");
    st.Sql("INSERT INTO configpostos (posto, seccao, chave, valor) VALUES (0, 'GLOBAL', 'OFFSET "
           "INICIAL', '3')");
    auto w = st.Start();
    ASSERT_FALSE(w->Terminated());
    EXPECT_EQ(SpoolerProbe(w->Core()).Posto(), 1234);
    EXPECT_EQ(SpoolerProbe(w->Core()).Protocolo(), 1);
    EXPECT_EQ(SpoolerProbe(w->Core()).OffsetInicial(), 3);
    EXPECT_EQ(w->Ui().porta->text().toStdString(), st.Printer().DevicePath());
    EXPECT_TRUE(w->Core().Polling());
    ASSERT_TRUE(st.Printer().WaitFor(printer::kInitialisation, std::chrono::seconds(10)));
    EXPECT_EQ(st.Printer().Received(), printer::kInitialisation);
}

TEST(Startup, OffsetFallsBackToZero) {
    for (const char* valor : {"x", ""}) {
        Station st;
        st.WriteDefaults();
        if (*valor)
            st.Sql(QStringLiteral("INSERT INTO configpostos (posto, seccao, chave, valor) VALUES "
                                  "(0, 'GLOBAL', 'OFFSET INICIAL', '%1')")
                       .arg(QLatin1String(valor)));
        // A row of another station or section does not count.
        st.Sql("INSERT INTO configpostos (posto, seccao, chave, valor) VALUES (7, 'GLOBAL', "
               "'OFFSET INICIAL', '5')");
        auto w = st.Start();
        EXPECT_EQ(SpoolerProbe(w->Core()).OffsetInicial(), 0) << valor;
    }
}

TEST(Startup, PurgesHistoryOfEarlierBusinessDays) {
    Station st;
    st.WriteDefaults();
    auto add = [&](int id, const QDateTime& valor) {
        db::TDbCommand cmd(&st.Db());
        cmd.SetSQL({QStringLiteral("INSERT INTO historico (datahora, id, titulo, dados, "
                                   "palavrachave, cartao, previsao, datavalor)"),
                    QStringLiteral("VALUES (:d, :id, 0, 'x', '', 1, 'x', :v)")});
        cmd.ParamByName(QStringLiteral("d")).SetValue(valor);
        cmd.ParamByName(QStringLiteral("id")).SetValue(id);
        cmd.ParamByName(QStringLiteral("v")).SetValue(valor);
        cmd.Execute();
    };
    const QDate today = QDate::currentDate();
    add(1, today.addDays(-3).startOfDay());
    add(2, QDateTime(today.addDays(-1), QTime(23, 59, 59, 999)));
    add(3, today.startOfDay());
    add(4, today.addDays(1).startOfDay());
    auto w = st.Start();
    ASSERT_TRUE(st.messages.isEmpty()) << st.messages.join("|").toStdString();
    const auto rows = st.Rows("SELECT id FROM historico ORDER BY id");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "3");
    EXPECT_EQ(rows[1][0], "4");
}

TEST(Startup, WindowPositionIsRestoredAndSavedOnClose) {
    Station st;
    st.WriteDefaults();
    {
        auto w = st.Start();
        w->show();
        EXPECT_EQ(w->x(), 500) << "Left missing";
        EXPECT_EQ(w->y(), 0);
        EXPECT_EQ(w->height(), 26);
        w->resize(w->width(), 500);
        w->move(120, 45);
        w->close();
    }
    EXPECT_EQ(platform::ReadProfileString(st.PlinovaIni(), "vandrel", "Left", "", 10), "120");
    EXPECT_EQ(platform::ReadProfileString(st.PlinovaIni(), "vandrel", "Top", "", 10), "45");
    // The other settings of the file are kept.
    EXPECT_EQ(platform::ReadProfileString(st.PlinovaIni(), "OPCOES", "Certificadora", "", 5), "1");
    {
        auto w = st.Start();
        w->show();
        EXPECT_EQ(w->x(), 120);
        EXPECT_EQ(w->y(), 45);
        EXPECT_EQ(w->height(), 26) << "always starts collapsed";
        w->close();
    }
    platform::WriteProfileString(st.PlinovaIni(), "vandrel", "Left", "word");
    auto w = st.Start();
    w->show();
    EXPECT_EQ(w->x(), 0) << "unreadable Left";
}

// A position saved on a screen that is gone would leave the borderless bar where nothing but
// editing the file brings it back: it is brought onto the nearest screen, and what was used is
// saved at once. The test program's display is two screens side by side (screens.json):
// 1920 x 1080 and, to its right, 1280 x 1024.
TEST(Startup, PositionOffEveryScreenIsBroughtBackAndSaved) {
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    Station st;
    st.WriteDefaults();
    const auto saved = [&](const char* key) {
        return platform::ReadProfileString(st.PlinovaIni(), "vandrel", key, "", 10);
    };
    struct Case {
        const char* left;
        const char* top;
        QPoint placed;
    };
    for (const Case& c : {Case{"2500", "900", {2500, 900}}, Case{"5000", "40", {2865, 40}},
                          Case{"-400", "1070", {0, 1054}}}) {
        platform::WriteProfileString(st.PlinovaIni(), "vandrel", "Left", c.left);
        platform::WriteProfileString(st.PlinovaIni(), "vandrel", "Top", c.top);
        auto w = st.Start();
        w->show();
        EXPECT_EQ(w->pos(), c.placed) << c.left << "," << c.top;
        EXPECT_EQ(saved("Left"), std::to_string(c.placed.x())) << c.left << "," << c.top;
        EXPECT_EQ(saved("Top"), std::to_string(c.placed.y())) << c.left << "," << c.top;
        w->close();
    }
}

TEST(Startup, CloseDrainsAndReleasesThePort) {
    Station st;
    st.WriteDefaults();
    auto w = st.Start();
    st.Printer().Send("\x12\x72\x10");
    // The answer to the start-up status request and the three bytes sent wait to be drained.
    ASSERT_TRUE(WaitUntil([&] { return SpoolerProbe(w->Core()).Port().InputQueued() == 4; },
                          std::chrono::seconds(10)));
    w->close();
    EXPECT_FALSE(SpoolerProbe(w->Core()).Port().Connected());
    // The device is free again for the next start.
    auto again = st.Start();
    EXPECT_FALSE(again->Terminated());
}

} // namespace
