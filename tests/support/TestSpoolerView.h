#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>

#include "app/core/SpoolerView.h"

// A SpoolerView without a window: it records what the core shows (notices too), lets events
// through where the window would, and keeps the errors its handlers raised, so that the job cycle,
// the card dialogue and the stop rules run in a test with no widget.
class TestSpoolerView : public SpoolerView {
public:
    void ShowStatus(const QString& text, bool) override {
        statuses << text;
        if (onStatus)
            onStatus(text);
    }
    void ShowCardNumber(const QString& text) override { cardNumbers << text; }
    void ShowMemoText(const QString& text) override { memo = text; }
    void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
    void ProcessStopRequests() override {
        ++stopLooks;
        if (onStopLook)
            onStopLook();
        QCoreApplication::processEvents();
    }
    void DiscardInput() override { ++inputDiscards; }
    void ShowNotice(const QString& text) override { notices << text; }
    void CloseLater() override { ++closes; }
    void RunHandler(const std::function<void()>& handler) override {
        try {
            handler();
        } catch (const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        }
    }

    QStringList statuses;
    QStringList cardNumbers;
    QString memo;
    int stopLooks = 0;
    int inputDiscards = 0;
    int closes = 0;
    QStringList notices;
    QStringList errors;
    // Called on each status shown, and each time the card print looks for a stop request.
    std::function<void(const QString&)> onStatus;
    std::function<void()> onStopLook;
};
