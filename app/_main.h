#pragma once

#include <QDate>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "serial/CPort.h"

class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTableView;
class QTimer;
class QToolButton;
class TsuiButton;
class HistoryModel;

// The spooler's only window: it owns the printer's port, the database connection and
// statements, the polling timer and the controls, and runs every handler on the main thread.
class Tmain : public QWidget {
    Q_OBJECT

public:
    // `programFolder` is the executable's folder, where the data link file is looked for first.
    explicit Tmain(const QString& programFolder, QWidget* parent = nullptr);
    ~Tmain() override;

    // True when start-up refused to run; the program then ends without showing the window.
    bool Terminated() const { return terminated_; }

    // Settings fixed at start-up.
    qint32 Posto = 0;         // station number
    qint32 Protocolo = 0;     // 0: writes paced by pauses; other: hardware flow control
    qint32 OffsetInicial = 0; // empty lines fed before each text
    QDate DataValor;          // business date
    qint32 LastId = 0;        // id of the last job taken
    bool Titulo = false;      // print the keyword as a title line
    QString PalavraChave;     // the title keyword

    // Components, named as the window lays them out.
    TComPort* cpcert = nullptr;
    db::TDbConnection* cn = nullptr;
    db::TDbQuery* q_print = nullptr;
    db::TDbQuery* q_hist = nullptr;
    db::TDbQuery* q_configposto = nullptr;
    db::TDbCommand* q_addhist = nullptr;
    db::TDbCommand* q_delete = nullptr;
    db::TDbCommand* q_delhist = nullptr;
    QTimer* tt = nullptr;

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
    HistoryModel* d_hist = nullptr;
    TsuiButton* btup = nullptr;
    TsuiButton* btdown = nullptr;
    TsuiButton* btprint = nullptr;
    TsuiButton* btmod = nullptr;
    TsuiButton* btfechar = nullptr;

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    void ttTimer();
    void btopenClick();
    void btfecharClick();
    void btmodClick();
    void btupClick();
    void btdownClick();
    void btprintClick();
    void btcloseClick();

    QString ReadGlobalConfig(const QString& key, const QString& def);

    // The card printer dialogue.
    void SendInitialisation();
    void PrintCard();
    void Pause(std::uint32_t milliseconds);
    // Writes the whole string or fails.
    void WriteAll(const std::string& bytes);
    void PacedWrite(const std::string& bytes, std::uint32_t milliseconds);
    // The memo's display lines as it wraps them, in the printer's code page.
    std::vector<std::string> DisplayLines() const;

    // Whether the polling timer runs.
    bool TimerEnabled() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildSkinnedButtons();
    void OpenHistory();
    void CloseHistory();
    void ShowHistory();
    void SetStatus(const QString& text);

    QString programFolder_;
    bool terminated_ = false;
    bool shown_ = false;
    bool closed_ = false;
};
