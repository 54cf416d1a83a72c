#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

class QWidget;

// The program's message boxes and its report of uncaught errors.
namespace report {

// The application-level error report: the error's text, with a full stop appended when its
// last character has a code above that of the full stop, captioned with the application
// title and the error icon. The caller goes on afterwards.
void ShowError(const QString& text);

// The program's own warning: caption "Aviso", error icon, OK button.
void ShowWarning(QWidget* parent, const QString& text);

// Asks OK or Cancel; true for OK.
bool Confirm(QWidget* parent, const QString& text);

// The text the error report shows for `text`.
QString ReportText(const QString& text);

// Runs a handler; an error that leaves it ends the handler and is reported.
void Run(const std::function<void()>& handler);

// Where the boxes go. Without a display nobody can answer a box, so the default then only
// writes the text to standard error; tests install their own.
struct Sink {
    std::function<void(const QString& caption, const QString& text)> message;
    std::function<bool(const QString& text)> confirm;
};
void SetSink(Sink sink);
void ResetSink();

} // namespace report

// Reports errors that escape any event handler instead of ending the program.
class PlinovaApplication : public QApplication {
public:
    PlinovaApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
