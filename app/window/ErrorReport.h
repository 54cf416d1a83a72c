#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

class QWidget;

// The program's message boxes and its report of uncaught errors.
namespace report {

// The text the error report shows for `text`.
QString ReportText(const QString& text);

// Where the boxes go, instead of the screen: a test takes them as text.
struct Sink {
    std::function<void(const QString& caption, const QString& text)> message;
    std::function<bool(const QString& text)> confirm;
};

// Where the program's boxes go, set up once by the program (its application object holds it)
// and handed to whatever shows one. Every box's text is also written to standard error. The
// default shows message boxes; without a display nobody can answer a box, so it then only
// writes to standard error.
class Reporter {
public:
    Reporter() = default;
    explicit Reporter(Sink sink) : sink_(std::move(sink)) {}
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    // The application-level error report: ReportText(text), captioned with the application
    // title and the error icon. The caller goes on afterwards.
    void ShowError(const QString& text) const;

    // The program's own warning: caption "Aviso", error icon, OK button.
    void ShowWarning(QWidget* parent, const QString& text) const;

    // The same warning without waiting for it to be answered: the box stays up while the
    // caller, and the spooler, go on.
    void ShowNotice(QWidget* parent, const QString& text) const;

    // Asks OK or Cancel; true for OK.
    bool Confirm(QWidget* parent, const QString& text) const;

    // Runs a handler; an error that leaves it ends the handler and is reported.
    void Run(const std::function<void()>& handler) const;

private:
    // `wait`: the box is answered before the call returns; otherwise it stays up on its own.
    void Message(QWidget* parent, const QString& caption, const QString& text, bool wait) const;

    Sink sink_;
};

} // namespace report

// Reports errors that escape any event handler instead of ending the program, and holds the
// program's Reporter.
class PlinovaApplication : public QApplication {
public:
    PlinovaApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    const report::Reporter& Reports() const { return reports_; }

private:
    report::Reporter reports_;
};
