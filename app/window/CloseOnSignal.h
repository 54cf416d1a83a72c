#pragma once

#include <QObject>
#include <memory>

class QWidget;

// Takes the system's requests to stop the program as the close command for a window: the
// window is closed (its close handler runs) and the event loop ends. The requests are
// SIGTERM and SIGINT on POSIX systems; on Windows the console's control events, the session
// ending, and a close message from another program. They are read from the event loop, which
// the card print also reads while it waits for the printer. One source file per system.
//
// The requests are the whole process's, so one instance takes them at a time: a second one
// while the first lives raises std::logic_error. Destroyed, it gives the process back what
// it did with them before.
class CloseOnSignal : public QObject {
    Q_OBJECT

public:
    explicit CloseOnSignal(QWidget* window);
    ~CloseOnSignal() override;

private:
    // The same for every request: a window busy with a card closes itself once the card is
    // done; the application then ends with its last window.
    void Close();

    class Source; // the system's way of asking
    QWidget* window_;
    std::unique_ptr<Source> source_;
};
