#include "MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <vector>

#include "ErrorReport.h"
#include "InputDiscard.h"
#include "app/core/ConfigValues.h"
#include "app/core/WindowPlacement.h"
#include "platform/ProfileFile.h"

Tmain::Tmain(Spooler::Setup setup, const report::Reporter& reports, QWidget* parent)
    : QWidget(parent), reports_(reports), core_(*this, std::move(setup)),
      history_(core_.Database()) {
    setObjectName(QStringLiteral("main"));
    BuildControls();
    reports_.Run([this] { FormCreate(); });
}

Tmain::~Tmain() = default;

void Tmain::FormCreate() {
    switch (core_.Prepare()) {
    case Spooler::Refusal::PrinterDisabled:
        reports_.ShowWarning(this,
                             QStringLiteral("A certificadora está desactivada na configuração!\n"
                                            "Não é possível executar a aplicação!"));
        terminated_ = true;
        return;
    case Spooler::Refusal::PortUnavailable:
        reports_.ShowWarning(this, QStringLiteral("Não é possível abrir a porta da certificadora!\n"
                                                  "Não é possível executar a aplicação!"));
        terminated_ = true;
        return;
    case Spooler::Refusal::None:
        break;
    }
    porta->setText(QString::fromStdString(core_.PortName()));
    core_.Start();
}

void Tmain::FormShow() {
    const std::string plinovaIni = core_.PlinovaIni();
    const std::string top = platform::ReadProfileString(plinovaIni, "vandrel", "Top", "0", 10);
    const std::string left = platform::ReadProfileString(plinovaIni, "vandrel", "Left", "500", 10);
    const QPoint saved(config::ParseInteger(left).value_or(0),
                       config::ParseInteger(top).value_or(0));
    // A position saved on a screen that is gone (a monitor removed, a smaller resolution)
    // would leave the borderless bar where nothing brings it back: it is moved onto the
    // nearest screen, and the position used is saved at once.
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->geometry());
    const QPoint used = placement::OnAScreen(saved, QSize(width(), 26), screens);
    move(used);
    resize(width(), 26);
    if (used != saved) {
        platform::WriteProfileString(plinovaIni, "vandrel", "Top", std::to_string(used.y()));
        platform::WriteProfileString(plinovaIni, "vandrel", "Left", std::to_string(used.x()));
    }
}

void Tmain::FormClose() {
    const std::string plinovaIni = core_.PlinovaIni();
    core_.ClosePort();
    platform::WriteProfileString(plinovaIni, "vandrel", "Top", std::to_string(y()));
    platform::WriteProfileString(plinovaIni, "vandrel", "Left", std::to_string(x()));
}

void Tmain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        reports_.Run([this] { FormShow(); });
    }
}

void Tmain::closeEvent(QCloseEvent* event) {
    // Never in the middle of a cycle or a reprint: the port would close under it. The core
    // ends it as soon as no card is left half done, and closes the window then.
    if (!closed_ && core_.Busy()) {
        core_.RequestStop();
        event->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        core_.StopPolling();
        reports_.Run([this] { FormClose(); });
    }
    event->accept();
}

void Tmain::ShowStatus(const QString& text, bool paintNow) {
    status->setText(text);
    if (paintNow)
        status->repaint();
}

void Tmain::ShowCardNumber(const QString& text) {
    numcartao->setText(text);
}

void Tmain::ShowMemoText(const QString& text) {
    texto->setPlainText(text);
}

void Tmain::ProcessPendingEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void Tmain::ProcessStopRequests() {
    // Not processEvents(ExcludeUserInputEvents): the window system counts its close request as
    // user input and would hold it back with the clicks.
    DiscardPendingInput();
}

void Tmain::DiscardInput() {
    DiscardPendingInput();
}

void Tmain::ShowNotice(const QString& text) {
    reports_.ShowNotice(this, text);
}

void Tmain::CloseLater() {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

void Tmain::RunHandler(const std::function<void()>& handler) {
    reports_.Run(handler);
}
