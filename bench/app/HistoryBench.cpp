// Opening the history page over a large history: the time from btmodClick until the grid has
// painted its first rows, the time to jump to the last row (Ctrl+End) and have it painted, and
// the time to leave the page again; plus the history query's open alone, for the database's
// share, and resident memory while the page is open.
//
// Usage: bench_history [rows] [repetitions]   (PostgreSQL rows need PLINOVA_TEST_PG_*)
#include <QApplication>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "HistoryBrowser.h"
#include "MainWindow.h"
#include "Station.h"
#include "db/Query.h"

namespace {

// Counts the paints of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Runs the event loop until the grid has painted once more.
void WaitForPaint(const PaintCounter& counter) {
    const int before = counter.paints;
    WaitUntil([&] { return counter.paints > before; }, std::chrono::seconds(30));
}

// The rows, written by the server itself in one statement: id i, card i % 100, a text of
// about a hundred characters and its preview.
QString FillStatement(Backend backend, int rows) {
    const QString columns = QStringLiteral(
        "INSERT INTO historico (datahora, id, titulo, dados, palavrachave, cartao, previsao, "
        "datavalor) ");
    const QString values = QStringLiteral(
        "SELECT '2026-12-07 12:00:00', i, 0, 'Linha ' || i || ' com o texto de um pedido: 2 "
        "Bifana, 1 Sopa do dia, 3 Imperial, 1 Agua', '', i % 100, 'Linha ' || i, "
        "'2026-12-07 00:00:00' ");
    if (backend == Backend::SQLite)
        return columns +
               QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                              "WHERE i < %1) ")
                   .arg(rows) +
               values + QStringLiteral("FROM n");
    return columns + values + QStringLiteral("FROM generate_series(1, %1) AS n(i)").arg(rows);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Run(Backend backend, int rows, int repetitions) {
    const std::string name = dbtest::BackendName(backend);
    bench::StartedStation started = bench::StartStation(backend, "");
    if (!started)
        return;
    Station& st = *started.st;
    const std::unique_ptr<Tmain>& w = started.w;
    const db::TDbQuery& q_hist = w->History().Query();
    st.Sql(FillStatement(backend, rows));
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        std::printf("| %s | window not exposed |\n", name.c_str());
    Handler(*w, [&] { w->btopenClick(); });
    QApplication::processEvents();

    // The history query alone, on the spooler's connection: the database's share of opening
    // the page.
    db::TDbQuery alone(&w->Core().Database());
    alone.SetSQL(HistoryBrowser::Sql());
    std::vector<double> fetch;
    for (int r = 0; r < repetitions; ++r) {
        const double t = bench::Now();
        alone.Open();
        fetch.push_back(bench::Now() - t);
        alone.Close();
    }

    PaintCounter grid;
    w->Ui().lista->viewport()->installEventFilter(&grid);
    std::vector<double> open, openReturn, toEnd, leave;
    long rss = 0;
    for (int r = 0; r < repetitions; ++r) {
        const double t0 = bench::Now();
        Handler(*w, [&] { w->btmodClick(); });
        openReturn.push_back(bench::Now() - t0);
        WaitForPaint(grid);
        open.push_back(bench::Now() - t0);
        if (q_hist.RecordCount() != rows)
            std::printf("| %s | %d rows listed, not %d |\n", name.c_str(), q_hist.RecordCount(),
                        rows);
        rss = std::max(rss, bench::RssKb());

        const double t1 = bench::Now();
        QTest::keyClick(w->Ui().lista, Qt::Key_End, Qt::ControlModifier);
        WaitForPaint(grid);
        toEnd.push_back(bench::Now() - t1);
        if (q_hist.RecNo() != rows - 1)
            std::printf("| %s | Ctrl+End left row %d current |\n", name.c_str(), q_hist.RecNo());

        const double t2 = bench::Now();
        Handler(*w, [&] { w->btmodClick(); });
        QApplication::processEvents();
        leave.push_back(bench::Now() - t2);
    }
    std::printf("| %s | %d | %.0f | %.0f | %.0f | %.0f | %.0f | %ld |\n", name.c_str(), rows,
                Median(fetch), Median(openReturn), Median(open), Median(toEnd), Median(leave),
                rss / 1024);
    if (!st.messages.isEmpty())
        std::printf("| %s | errors: %s |\n", name.c_str(),
                    st.messages.join(QStringLiteral(" / ")).toUtf8().constData());
}

} // namespace

int main(int argc, char** argv) {
    bench::Application app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
    std::printf("| backend | rows | query alone, ms | btmodClick returns, ms | first rows "
                "painted, ms | Ctrl+End painted, ms | page left, ms | resident MB, page open "
                "|\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (Backend b : {Backend::SQLite, Backend::PostgreSQL, Backend::PostgreSQLOdbc})
        Run(b, rows, repetitions);
    return 0;
}
