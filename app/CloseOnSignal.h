#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

// Takes SIGTERM and SIGINT as the system's close command for a window: the window is
// closed (its close handler runs) and the event loop ends. The signal is read from the event
// loop, which the card print also reads while it waits for the printer.
class CloseOnSignal : public QObject {
    Q_OBJECT

public:
    explicit CloseOnSignal(QWidget* window);
    ~CloseOnSignal() override;

private:
    QWidget* window_;
    QSocketNotifier* notifier_ = nullptr;
};
