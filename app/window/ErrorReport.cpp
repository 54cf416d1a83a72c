#include "ErrorReport.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace report {
namespace {

bool Headless() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

void Log(const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    std::fflush(stderr);
}

QString AppTitle() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Plinova") : name;
}

} // namespace

QString ReportText(const QString& text) {
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + QLatin1Char('.');
    return text;
}

void Reporter::Message(QWidget* parent, const QString& caption, const QString& text,
                       bool wait) const {
    Log(caption, text);
    if (sink_.message) {
        sink_.message(caption, text);
        return;
    }
    if (Headless())
        return;
    if (wait) {
        QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void Reporter::ShowError(const QString& text) const {
    Message(nullptr, AppTitle(), ReportText(text), true);
}

void Reporter::ShowWarning(QWidget* parent, const QString& text) const {
    Message(parent, QStringLiteral("Aviso"), text, true);
}

void Reporter::ShowNotice(QWidget* parent, const QString& text) const {
    Message(parent, QStringLiteral("Aviso"), text, false);
}

bool Reporter::Confirm(QWidget* parent, const QString& text) const {
    if (sink_.confirm)
        return sink_.confirm(text);
    if (Headless())
        return false;
    return QMessageBox::question(parent, AppTitle(), text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

void Reporter::Run(const std::function<void()>& handler) const {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Unknown error"));
    }
}

} // namespace report

PlinovaApplication::PlinovaApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool PlinovaApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    reports_.Run([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
