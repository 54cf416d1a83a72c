#pragma once

#include "HistoryBrowser.h"
#include "app/core/Spooler.h"
#include "app/core/SpoolerView.h"
#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTableView;
class QToolButton;
class TsuiButton;

namespace report {
class Reporter;
}

// The window's controls, owned by the window as their parent, under their component names,
// which are also their object names.
struct MainControls {
    QToolButton* btopen = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* numcartao = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* status = nullptr;
    QToolButton* btclose = nullptr;
    QLabel* porta = nullptr;
    QStackedWidget* pcontrol = nullptr;
    QWidget* tabprint = nullptr;
    QLabel* Label4 = nullptr;
    QPlainTextEdit* texto = nullptr;
    QWidget* tabhist = nullptr;
    QLabel* Label3 = nullptr;
    QTableView* lista = nullptr;
    TsuiButton* btup = nullptr;
    TsuiButton* btdown = nullptr;
    TsuiButton* btprint = nullptr;
    TsuiButton* btmod = nullptr;
    TsuiButton* btfechar = nullptr;
};

// The spooler's only window: its controls and their handlers, start-up and shut-down as the
// window sees them, the memo with the text last printed, and the history page. The spooler's
// work is its core's (`Core()`), which reaches the window only through SpoolerView. The
// controls carry their names as object names.
class Tmain : public QWidget, private MainControls, private SpoolerView {
    Q_OBJECT

public:
    // `setup` says where the station's files are, for its core; `reports` is where the
    // window's boxes and errors go, and must outlive it.
    Tmain(Spooler::Setup setup, const report::Reporter& reports, QWidget* parent = nullptr);
    ~Tmain() override;

    // True when start-up refused to run; the program then ends without showing the window.
    bool Terminated() const { return terminated_; }

    Spooler& Core() { return core_; }
    HistoryBrowser& History() { return history_; }
    const MainControls& Ui() const { return *this; }

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    void btopenClick();
    void btfecharClick();
    void btmodClick();
    void btupClick();
    void btdownClick();
    void btprintClick();
    void btcloseClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // SpoolerView.
    void ShowStatus(const QString& text, bool paintNow) override;
    void ShowCardNumber(const QString& text) override;
    void ShowMemoText(const QString& text) override;
    void ProcessPendingEvents() override;
    void ProcessStopRequests() override;
    void DiscardInput() override;
    void ShowNotice(const QString& text) override;
    void CloseLater() override;
    void RunHandler(const std::function<void()>& handler) override;

    void BuildControls();
    void BuildSkinnedButtons();
    void OpenHistory();
    void CloseHistory();
    void ShowHistory();

    const report::Reporter& reports_;
    bool terminated_ = false;
    bool shown_ = false;
    bool closed_ = false;

    // The core before the history, whose query runs on the core's connection: the history
    // and its grid's data source go first, and the grid, destroyed with the window's widgets
    // after both, falls back to no rows.
    Spooler core_;
    HistoryBrowser history_;
};
