#pragma once

#include <QString>
#include <functional>

// What the spooler's core needs of its window: the two labels and the memo it writes, a moment for
// the window to catch up before a card print blocks it, a look for stop requests while it waits,
// the close that follows one, a notice for the operator, and the report of an error that ends a
// handler.
class SpoolerView {
public:
    // The printer's state. `paintNow`: repainted before the call returns, for the card print,
    // during which the window handles no events.
    virtual void ShowStatus(const QString& text, bool paintNow) = 0;
    // The card number of the job in progress; empty between jobs.
    virtual void ShowCardNumber(const QString& text) = 0;
    // Replaces the memo's text: the text of the current or last print.
    virtual void ShowMemoText(const QString& text) = 0;
    // Lets the window handle everything pending (painting, and the clicks that came).
    virtual void ProcessPendingEvents() = 0;
    // During the card print's waits: lets the window read what the window system and the
    // signals sent, a close request above all; the user's input that came is dropped.
    virtual void ProcessStopRequests() = 0;
    // After a card print: drops the user's input that came while it ran.
    virtual void DiscardInput() = 0;
    // A message for the operator that asks nothing and stops nothing: the spooler goes on
    // while it is shown.
    virtual void ShowNotice(const QString& text) = 0;
    // Closes the window as its close command does, once the running handler has returned.
    virtual void CloseLater() = 0;
    // Runs a handler; an error that leaves it is shown by the application's error report and
    // the caller goes on.
    virtual void RunHandler(const std::function<void()>& handler) = 0;

protected:
    ~SpoolerView() = default;
};
