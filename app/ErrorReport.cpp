#include "app/ErrorReport.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace report {
namespace {

bool Headless() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

Sink& CurrentSink() {
    static Sink sink;
    return sink;
}

void Log(const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
    std::fflush(stderr);
}

void Message(QWidget* parent, const QString& caption, const QString& text) {
    Log(caption, text);
    if (CurrentSink().message) {
        CurrentSink().message(caption, text);
        return;
    }
    if (!Headless())
        QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
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

void ShowError(const QString& text) {
    Message(nullptr, AppTitle(), ReportText(text));
}

void ShowWarning(QWidget* parent, const QString& text) {
    Message(parent, QStringLiteral("Aviso"), text);
}

bool Confirm(QWidget* parent, const QString& text) {
    if (CurrentSink().confirm)
        return CurrentSink().confirm(text);
    if (Headless())
        return false;
    return QMessageBox::question(parent, AppTitle(), text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

void Run(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Unknown error"));
    }
}

void SetSink(Sink sink) {
    CurrentSink() = std::move(sink);
}
void ResetSink() {
    CurrentSink() = Sink{};
}

} // namespace report

PlinovaApplication::PlinovaApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool PlinovaApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    report::Run([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
