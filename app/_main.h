#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/core/Spooler.h"
#include "app/core/SpoolerView.h"

class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTableView;
class QToolButton;
class TsuiButton;
class HistoryModel;

// The spooler's only window: its controls and their handlers, start-up and shut-down as the
// window sees them, and the memo whose display lines the card carries. The spooler's work is
// its core's (`Core()`), which reaches the window only through SpoolerView. The controls
// carry their names as object names.
class Tmain : public QWidget, private SpoolerView {
    Q_OBJECT

public:
    // `programFolder` is the executable's folder, where the data link file is looked for first.
    explicit Tmain(const QString& programFolder, QWidget* parent = nullptr);
    ~Tmain() override;

    // True when start-up refused to run; the program then ends without showing the window.
    bool Terminated() const { return terminated_; }

    Spooler& Core() { return core_; }

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

    // The memo's display lines as it wraps them, in the printer's code page.
    std::vector<std::string> DisplayLines() const override;

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
    void CloseLater() override;
    void RunHandler(const std::function<void()>& handler) override;

    void BuildControls();
    void BuildSkinnedButtons();
    void OpenHistory();
    void CloseHistory();
    void ShowHistory();

    bool terminated_ = false;
    bool shown_ = false;
    bool closed_ = false;

    // The core before the grid's data source, which reads its history query: the source goes
    // first, and the grid, destroyed with the window's widgets after both, falls back to no
    // rows.
    Spooler core_;
    std::unique_ptr<HistoryModel> d_hist;

    // Controls, owned by the window as their parent.
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
