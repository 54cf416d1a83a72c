#include "Simulator.h"

#include "CardText.h"
#include "EventText.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace cardsim {

namespace {

using namespace std::chrono_literals;

// A command still incomplete after this much silence was cut short: the spooler
// writes each command in one piece.
constexpr Micros kTruncationSilence = 250ms;
// After the last card's removal has been reported, stay long enough for the spooler
// to read the reply: closing the device would throw it away.
constexpr Micros kExitLinger = 300ms;

int signalWriteFd = -1;

void OnSignal(int) {
    const int saved = errno;
    const char byte = 0;
    [[maybe_unused]] ssize_t ignored = write(signalWriteFd, &byte, 1);
    errno = saved;
}

CardPrinter::Timing TimingOf(const Options& options) {
    return CardPrinter::Timing{std::chrono::milliseconds(options.insertDelayMs),
                               std::chrono::milliseconds(options.removeDelayMs), !options.manual};
}

// Whether the default log shows an event; the verbose log shows every one.
bool ShownByDefault(const Event& event) {
    switch (event.kind) {
    case EventKind::Initialize:
    case EventKind::CodeTable:
    case EventKind::Setting:
    case EventKind::Unknown:
    case EventKind::Truncated:
        return true;
    case EventKind::Control:
        return event.bytes[0] != 0x09;
    default:
        return false;
    }
}

} // namespace

Simulator::Simulator(const Options& options)
    : options_(options), start_(std::chrono::steady_clock::now()),
      watch_(pty_.DevicePath(), pty_.DeviceFd()), printer_(TimingOf(options), *this) {
    if (options_.manual && !TerminalKeys::Available()) {
        throw std::runtime_error("--manual needs a terminal on standard input for the keys");
    }
    if (pipe(signalPipe_) != 0 || fcntl(signalPipe_[1], F_SETFL, O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create a pipe");
    }
    signalWriteFd = signalPipe_[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!options_.trace.empty()) {
        trace_ = std::make_unique<TraceWriter>(options_.trace, start_);
    }
    if (!options_.pngDir.empty()) {
        images_ = std::make_unique<CardImageWriter>(options_.pngDir);
    }
    publication_ =
        std::make_unique<DevicePublication>(pty_.DevicePath(), options_.deviceFile, options_.link);
    // Printed even with --quiet: whoever started the simulator needs the device.
    std::printf("device: %s\n", pty_.DevicePath().c_str());
    std::fflush(stdout);
    if (watch_.Fd() < 0) {
        Notice("cannot watch the device's opens and closes: a program that puts it in "
               "exclusive mode will not be able to open it a second time");
    }
    if (TerminalKeys::Available()) {
        keys_ = std::make_unique<TerminalKeys>();
        Say("keys: i insert a card, r remove it, q quit");
    }
}

Simulator::~Simulator() {
    signalWriteFd = -1;
    close(signalPipe_[0]);
    close(signalPipe_[1]);
}

Micros Simulator::Now() const {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - start_);
}

void Simulator::Say(const std::string& line) const {
    if (!options_.quiet) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

int Simulator::Run() {
    for (;;) {
        const Micros now = Now();
        printer_.Advance(now);
        if (decoder_.HasPending() && now - lastInput_ >= kTruncationSilence) {
            std::vector<Event> events;
            decoder_.Flush(events);
            Decoded(events);
        }
        if (options_.exitAfterCards > 0 && printer_.CardsRemoved() >= options_.exitAfterCards &&
            printer_.RemovalReported() && !exitAt_) {
            exitAt_ = now + kExitLinger;
        }
        if (exitAt_ && now >= *exitAt_) {
            Say("done: " + std::to_string(printer_.CardsRemoved()) + " cards taken out");
            return 0;
        }
        if (options_.timeoutS > 0 &&
            now - lastActivity_ >= std::chrono::seconds(options_.timeoutS)) {
            std::fprintf(stderr, "plinova-cardsim: nothing happened for %d s, giving up\n",
                         options_.timeoutS);
            return 3;
        }

        pollfd fds[4] = {{pty_.MasterFd(), POLLIN, 0},
                         {signalPipe_[0], POLLIN, 0},
                         {keys_ ? keys_->Fd() : -1, POLLIN, 0},
                         {watch_.Fd(), POLLIN, 0}};
        if (poll(fds, 4, PollTimeout(now)) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "poll failed");
        }
        if (fds[1].revents != 0) {
            Say("stopped by a signal");
            return 0;
        }
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
            ReadDevice();
        }
        if (fds[3].revents != 0) {
            for (DeviceUse use : watch_.Check()) {
                DeviceUseChanged(use);
            }
        }
        if (fds[2].revents != 0) {
            const std::optional<char> key = keys_->Read();
            if (!key || !Key(*key)) {
                return 0;
            }
        }
    }
}

int Simulator::PollTimeout(Micros now) const {
    std::optional<Micros> next = printer_.NextDeadline();
    auto earliest = [&next](Micros at) { next = next ? std::min(*next, at) : at; };
    if (decoder_.HasPending()) {
        earliest(lastInput_ + kTruncationSilence);
    }
    if (exitAt_) {
        earliest(*exitAt_);
    }
    if (options_.timeoutS > 0) {
        earliest(lastActivity_ + std::chrono::seconds(options_.timeoutS));
    }
    if (!next) {
        return -1;
    }
    // Round up so the loop does not wake a moment early and spin.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 60'000));
}

void Simulator::ReadDevice() {
    std::uint8_t buffer[4096];
    const std::size_t got = pty_.Read(buffer, sizeof buffer);
    if (got == 0) {
        return;
    }
    const Micros now = Now();
    lastInput_ = now;
    lastActivity_ = now;
    const std::span<const std::uint8_t> bytes(buffer, got);
    if (trace_) {
        trace_->Received(now, bytes);
    }
    std::vector<Event> events;
    decoder_.Feed(bytes, events);
    Decoded(events);
}

void Simulator::Decoded(const std::vector<Event>& events) {
    for (const Event& event : events) {
        if (options_.verbose || ShownByDefault(event)) {
            Say(Describe(event));
        }
        printer_.Handle(event, Now());
    }
}

void Simulator::DeviceUseChanged(DeviceUse use) {
    const bool opened = use == DeviceUse::Opened;
    lastActivity_ = Now();
    if (trace_) {
        trace_->DeviceUse(lastActivity_, opened);
    }
    Say(opened ? "device opened" : "device closed");
}

bool Simulator::Key(char key) {
    lastActivity_ = Now();
    switch (key) {
    case 'i':
        printer_.Insert();
        return true;
    case 'r':
        printer_.Remove();
        return true;
    case 'q':
    case 0x04: // Ctrl-D
        return false;
    default:
        Say("keys: i insert a card, r remove it, q quit");
        return true;
    }
}

void Simulator::Reply(std::uint8_t byte) {
    const std::uint8_t one[] = {byte};
    if (pty_.Write(one, 1) == 0) {
        Notice("reply " + HexBytes(one) + " dropped: nobody reads the device");
        return;
    }
    if (trace_) {
        trace_->Sent(Now(), byte);
    }
    if (options_.verbose) {
        Say("reply " + HexBytes(one));
    }
}

void Simulator::StateChanged(CardState state) {
    lastActivity_ = Now();
    if (trace_) {
        trace_->StateChanged(lastActivity_, state);
    }
    if (const char* announcement = CardStateAnnouncement(state)) {
        Say(announcement);
    }
}

void Simulator::CardPrinted(const Card& card) {
    std::string picture = RenderCardText(card);
    picture.pop_back(); // Say() ends the line
    Say(picture);
    if (images_) {
        // A picture that cannot be written must not stop the printer.
        try {
            Say("picture: " + images_->Write(card));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "plinova-cardsim: %s\n", error.what());
        }
    }
}

void Simulator::DrawerPulsed(std::uint8_t pin, std::uint8_t onTime, std::uint8_t offTime) {
    Say(DescribeDrawerPulse(pin, onTime, offTime));
}

void Simulator::Notice(const std::string& text) {
    Say("note: " + text);
}

} // namespace cardsim
