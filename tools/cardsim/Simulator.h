#pragma once

#include "CardImageWriter.h"
#include "CardPrinter.h"
#include "DevicePublication.h"
#include "DeviceUseWatch.h"
#include "EscPosDecoder.h"
#include "Options.h"
#include "TerminalKeys.h"
#include "TraceWriter.h"
#include "tools/pty/PseudoTerminal.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

// The running simulator: the pseudo-terminal, the decoder and the printer model, the
// log on standard output, the optional trace, pictures and keys, driven by one poll loop.
namespace cardsim {

class Simulator : private PrinterListener {
public:
    // Sets everything up and prints the device line. Throws std::exception on failure.
    explicit Simulator(const Options& options);
    ~Simulator() override;

    // Runs until stopped; returns the exit status.
    int Run();

private:
    void Reply(std::uint8_t byte) override;
    void StateChanged(CardState state) override;
    void CardPrinted(const Card& card) override;
    void DrawerPulsed(std::uint8_t pin, std::uint8_t onTime, std::uint8_t offTime) override;
    void Notice(const std::string& text) override;

    Micros Now() const;
    void Say(const std::string& line) const;
    void ReadDevice();
    void Decoded(const std::vector<Event>& events);
    void DeviceUseChanged(DeviceUse use);
    // Returns false when the key asks to quit.
    bool Key(char key);
    int PollTimeout(Micros now) const;

    Options options_;
    std::chrono::steady_clock::time_point start_;
    PseudoTerminal pty_;
    DeviceUseWatch watch_;
    std::unique_ptr<DevicePublication> publication_;
    std::unique_ptr<TraceWriter> trace_;
    std::unique_ptr<CardImageWriter> images_;
    std::unique_ptr<TerminalKeys> keys_;
    EscPosDecoder decoder_;
    CardPrinter printer_;
    Micros lastInput_{0};
    Micros lastActivity_{0};
    std::optional<Micros> exitAt_;
    int signalPipe_[2] = {-1, -1};
};

} // namespace cardsim
