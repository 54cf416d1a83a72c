#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CardPrinter.h"
#include "EscPosDecoder.h"
#include "PrinterBytes.h"
#include "tools/pty/PseudoTerminal.h"

// A card printer on the far side of a pseudo-terminal, for tests: the card simulator's decoder
// and printer model behind the device that the spooler opens as its port. It records every
// byte it receives with its arrival, answers status requests as the model does, and lets a
// test script its replies, stall the line or unplug it.
//
// Cards come and go by the status requests (10 04 05) alone: without a card, one is put in
// place on the `SetInsertAfter`-th request of its wait, which is then answered 12; a released
// card is taken out on the `SetRemoveAfter`-th request after its release, answered 72 (both
// 1 unless set).
class PtyTestPrinter : private cardsim::PrinterListener {
public:
    using Clock = std::chrono::steady_clock;

    PtyTestPrinter();
    ~PtyTestPrinter() override;

    const std::string& DevicePath() const { return pty_.DevicePath(); }

    void SetInsertAfter(int requests) { insertAfter_ = requests; }
    void SetRemoveAfter(int requests) { removeAfter_ = requests; }

    // Replies to the next status requests, one each, in place of the model's. So that the model
    // follows what the spooler was told, a reply ending in 12 puts a card in place when there
    // is none, and one ending in 72 takes a released card out.
    void Script(std::deque<std::string> replies);
    // Bytes sent to the spooler now, unasked.
    void Send(const std::string& bytes);

    std::string Received() const;
    // When the byte at `offset` of everything received was read here; max() when it has not
    // come. A busy machine makes it late: time the spooler's pauses on its own side instead.
    Clock::time_point ArrivalOf(std::size_t offset) const;
    int StatusRequests() const;
    // What the spooler sent for its first card since the last Clear() (printer::CardBytesOf).
    std::string CardBytes() const { return printer::CardBytesOf(Received()); }
    // Forgets what was received and the card in the printer, as a printer switched off and on.
    void Clear();

    // Waits until the bytes received contain `needle`; false after `timeout`.
    bool WaitFor(const std::string& needle, std::chrono::milliseconds timeout) const;

    // Closes the line, as an unplugged printer would.
    void Unplug();

    // Stops reading as soon as the bytes received contain `needle` (at once for an empty one),
    // as a printer holding its handshake line does, and fills the line's buffer so that the
    // spooler's next write finds no room. Resumed, it reads everything again.
    void StallAfter(const std::string& needle);
    bool Stalled() const { return stalled_; }
    void Resume();

private:
    struct Chunk {
        Clock::time_point at;
        std::string bytes;
    };

    std::unique_ptr<cardsim::CardPrinter> NewModel();
    void Run();
    void OnBytes(std::string bytes, Clock::time_point at);
    void StatusRequest(const cardsim::Event& request);
    void Answer(const std::string& bytes);
    void FillLine();

    // cardsim::PrinterListener
    void Reply(std::uint8_t byte) override { Answer(std::string(1, static_cast<char>(byte))); }
    void StateChanged(cardsim::CardState state) override;
    void CardPrinted(const cardsim::Card&) override {}
    void DrawerPulsed(std::uint8_t, std::uint8_t, std::uint8_t) override {}
    void Notice(const std::string&) override {}

    PseudoTerminal pty_;
    int wake_[2] = {-1, -1};
    std::atomic<int> insertAfter_{1};
    std::atomic<int> removeAfter_{1};
    std::atomic<bool> stop_{false};
    std::atomic<bool> stalled_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool unplug_ = false;
    std::vector<Chunk> chunks_;
    std::string all_;
    cardsim::EscPosDecoder decoder_;
    std::unique_ptr<cardsim::CardPrinter> model_;
    std::deque<std::string> script_;
    int requests_ = 0;
    int phaseRequests_ = 0; // status requests since the card last came or went
    std::string stallNeedle_;
    bool stallArmed_ = false;
    std::size_t fillerLeft_ = 0; // filler bytes written into the line and not read back yet

    std::thread thread_; // last: it starts once everything above exists
};
