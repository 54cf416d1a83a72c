#include "SpoolerPrivate.h"

#include "Pause.h"
#include "app/core/SpoolerView.h"
#include "codepage/Win1252.h"

namespace {

const std::string kStatusRequest("\x10\x04\x05", 3);
const std::string kCrLf("\r\n", 2);
const std::string kSmallFont("\x1B\x21\x01", 3);
const std::string kLargeFont("\x1B\x21\x31", 3);
const std::string kFormFeed("\x0C", 1);
const std::string kRelease("\x1B\x71", 2);
const char kCardInPlace = 0x12;
const char kCardRemoved = 0x72;
// The system's code for an operation ended by its time-out.
const std::int32_t kErrorCounterTimeout = 1121;

} // namespace

void SpoolerPrivate::SendInitialisation() {
    static const std::string kSequence[] = {
        std::string("\x10\x04\x01", 3),     std::string("\x1B\x3D\x01\x1D\x61\x27", 6),
        std::string("\x1B\x52\x00", 3),     std::string("\x1B\x74\x10", 3),
        std::string("\x1B\x3D\x01", 3),     std::string("\x1B\x63\x34\x10", 4),
        std::string("\x1B\x46\x01", 3),     std::string("\x1B\x63\x34\x10", 4),
        std::string("\x1B\x63\x30\x04", 4), std::string("\x1B\x63\x31\x04", 4),
        std::string("\x1B\x55\x00", 3),     std::string("\x1B\x74\x02", 3),
    };
    for (const std::string& command : kSequence)
        WriteAll(command);
}

void SpoolerPrivate::Pause(std::uint32_t milliseconds) {
    pacing::Pause(ticks_, milliseconds);
}

void SpoolerPrivate::WriteAll(const std::string& bytes) {
    // A write the line did not take within its time-out ends short without an error; for
    // anything that must reach the card or the drawer that is a lost line, so it fails as a
    // write failure and the job stays queued.
    const int written = cpcert.WriteText(bytes);
    if (written != static_cast<int>(bytes.size()))
        throw EComPort(2, kErrorCounterTimeout);
}

void SpoolerPrivate::PacedWrite(const std::string& bytes, std::uint32_t milliseconds) {
    WriteAll(bytes);
    if (Protocolo == 0)
        Pause(milliseconds);
}

bool SpoolerPrivate::StopNoticed() {
    view_.ProcessStopRequests();
    return stopRequested_;
}

void SpoolerPrivate::DrainOutput() {
    // The port takes the bytes within its write time-out, so this ends. The wait gives the
    // processor away between looks at the queue.
    while (cpcert.OutputQueued() != 0)
        ticks_.LetOthersRun();
}

bool SpoolerPrivate::PrintCard(const Card& card, const CardMoments& moments) {
    // Input that came during the print is dropped however it ended: a click meant for a window
    // that could not answer must not act once it can.
    bool printed = false;
    try {
        printed = PrintCardBody(card, moments);
    } catch (...) {
        view_.DiscardInput();
        throw;
    }
    view_.DiscardInput();
    return printed;
}

void SpoolerPrivate::ReleaseCard() {
    WriteAll(kRelease);
    // The release must have left the port before the pause that lets the printer act on it
    // begins.
    DrainOutput();
}

bool SpoolerPrivate::PrintCardBody(const Card& card, const CardMoments& moments) {
    // The title waits for the card's first line; a card without lines leaves it to the next.
    Titulo = card.title;
    std::string reply;
    const int stale = cpcert.InputQueued();
    if (stale > 0)
        cpcert.ReadText(reply, stale);

    view_.ShowStatus(QStringLiteral("Introduza cartão"), true);
    for (;;) {
        reply.assign(1, '\0');
        cpcert.WriteText(kStatusRequest);
        Pause(50);
        if (cpcert.InputQueued() > 0)
            cpcert.ReadText(reply, 1);
        if (!reply.empty() && reply[0] == kCardInPlace)
            break;
        // Only an explicit stop ends the wait; a card may take any time to come.
        if (StopNoticed())
            return false;
    }

    view_.ShowStatus(QStringLiteral("Em impressão..."), true);
    if (OffsetInicial > 0) {
        for (qint32 i = 0; i < OffsetInicial; ++i)
            WriteAll(kCrLf);
        if (Protocolo == 0)
            Pause(200);
    }
    if (!Titulo)
        PacedWrite(kSmallFont, 50);
    for (const std::string& line : card.lines) {
        if (Titulo) {
            const QString title = *Titulo;
            Titulo.reset();
            WriteAll(kLargeFont);
            PacedWrite(win1252::FromUnicode(title) + kCrLf, 200);
            PacedWrite(kSmallFont, 50);
        }
        WriteAll(line + kCrLf);
        AtStep(Step::LinePrinted);
        Pause(200);
    }
    // The form feed prints and ejects the card: once it has left the port the card is out,
    // whatever happens before its release.
    WriteAll(kFormFeed);
    DrainOutput();
    if (moments.fed)
        moments.fed();
    if (Protocolo == 0)
        Pause(50);
    ReleaseCard();
    if (moments.released)
        moments.released();
    Pause(200);
    std::string dropped;
    while (cpcert.InputQueued() > 0)
        cpcert.ReadText(dropped, 1);

    for (;;) {
        reply.assign(1, '\0');
        cpcert.WriteText(kStatusRequest);
        Pause(50);
        view_.ShowStatus(QStringLiteral("Remova cartão"), true);
        std::string byte;
        while (cpcert.InputQueued() > 0) {
            if (cpcert.ReadText(byte, 1) > 0)
                reply = byte;
        }
        // A stop takes the card as removed: it is printed, so the job is done.
        if ((!reply.empty() && reply[0] == kCardRemoved) || StopNoticed())
            break;
    }
    return true;
}
