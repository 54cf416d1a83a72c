// Reads, writes, queue counts, modem signals and line errors of the port.
#include "serial/CPort.h"

#include "ComErrorCodes.h"
#include "ComPlatform.h"
#include "ComRequest.h"

using namespace serial;

namespace {
std::int32_t LastError(ComPlatform& platform) {
    return static_cast<std::int32_t>(platform.GetLastError());
}

// Makes sure a request the device may still hold has ended before it is freed: one still
// pending is aborted and waited for. Returns false when that cannot be seen, and the request
// must then be left to the device rather than freed under it.
bool Settle(TCustomComPort& port, TComRequest* request) {
    if (!request->Taken)
        return true;
    ComPlatform& platform = port.Platform();
    std::uint32_t bytes = 0;
    if (platform.GetOverlappedResult(port.DeviceHandle(), &request->OverlappedState, &bytes,
                                     false) ||
        platform.GetLastError() != ERROR_IO_INCOMPLETE)
        return true;
    return platform.PurgeComm(port.DeviceHandle(),
                              request->Direction == rdWrite ? PURGE_TXABORT : PURGE_RXABORT) &&
           platform.WaitForSingleObject(request->OverlappedState.hEvent, INFINITE) == WAIT_OBJECT_0;
}

// One bit of a status or error word the platform reports, and the member of a set it stands for.
template <typename E> struct BitMeaning {
    std::uint32_t bit;
    E value;
};

// The set of the members whose bits are on in `word`.
template <typename E, typename Bits, std::size_t N>
EnumSet<E, Bits> SetOf(std::uint32_t word, const BitMeaning<E> (&meanings)[N]) {
    EnumSet<E, Bits> set;
    for (const BitMeaning<E>& m : meanings) {
        if (word & m.bit)
            set.Include(m.value);
    }
    return set;
}

constexpr BitMeaning<TModemSignal> kModemStatusBits[] = {
    {MS_CTS_ON, msCTS}, {MS_DSR_ON, msDSR}, {MS_RING_ON, msRing}, {MS_RLSD_ON, msRLSD}};

// The parity error counts only where the parity is checked (TakeLineErrors).
constexpr BitMeaning<TComError> kLineErrorBits[] = {
    {CE_FRAME, ceFrame}, {CE_RXPARITY, ceRxParity}, {CE_OVERRUN, ceOverrun}, {CE_BREAK, ceBreak},
    {CE_IOE, ceIO},      {CE_MODE, ceMode},         {CE_RXOVER, ceRxOver},   {CE_TXFULL, ceTxFull}};

TModemSignals SignalsOf(std::uint32_t status) {
    return SetOf<TModemSignal, std::uint8_t>(status, kModemStatusBits);
}

// Frees a request that the device holds no more.
void FreeEnded(TCustomComPort& port, TComRequest* request) {
    port.Platform().CloseHandle(request->OverlappedState.hEvent);
    delete request;
}

// The request of one synchronous operation: freed when the operation ends, also by an error.
class RequestGuard {
public:
    RequestGuard(TCustomComPort& port, TComRequest* request) : port_(port), request_(request) {}
    ~RequestGuard() {
        if (finished_)
            FreeEnded(port_, request_);
        else
            port_.FreeRequest(request_);
    }
    TComRequest* Get() const { return request_; }
    // The operation's wait returned: the device holds the request no more.
    void Finished() { finished_ = true; }

private:
    TCustomComPort& port_;
    TComRequest* request_;
    bool finished_ = false;
};
} // namespace

TComRequest* TCustomComPort::CreateRequest() {
    return NewRequest(CError_InvalidAsync);
}

TComRequest* TCustomComPort::NewRequest(std::int32_t errorCode) {
    const THandle event = platform_->CreateEvent(true, true);
    if (event == 0)
        throw EComPort(errorCode, LastError(*platform_));
    auto* request = new TComRequest();
    request->OverlappedState.hEvent = event;
    return request;
}

void TCustomComPort::FreeRequest(TComRequest*& request) {
    if (request == nullptr)
        return;
    // A request still pending is ended first; one whose end cannot be seen is left to the
    // device rather than freed under it.
    if (Settle(*this, request))
        FreeEnded(*this, request);
    request = nullptr;
}

std::int32_t TCustomComPort::StartWrite(const void* buffer, std::int32_t count,
                                        TComRequest* request) {
    if (request == nullptr)
        throw EComPort(CError_InvalidAsync);
    request->Direction = rdWrite;
    const std::int32_t length = count > 0 ? count : 0;
    request->SentCopy.emplace(static_cast<const char*>(buffer), static_cast<std::size_t>(length));
    request->SentLength = count;
    std::uint32_t written = 0;
    request->Taken = false;
    if (!platform_->WriteFile(deviceHandle_, buffer, static_cast<std::uint32_t>(length), &written,
                              &request->OverlappedState) &&
        platform_->GetLastError() != ERROR_IO_PENDING)
        throw EComPort(CError_WriteFailed, LastError(*platform_));
    request->Taken = true;
    NotifyLinks(&PortLink::TxActivitySlot, true);
    return static_cast<std::int32_t>(written);
}

std::int32_t TCustomComPort::StartWriteText(const std::string& text, TComRequest* request) {
    if (text.empty())
        return 0;
    return StartWrite(text.data(), static_cast<std::int32_t>(text.size()), request);
}

std::int32_t TCustomComPort::WriteText(const std::string& text) {
    // Nothing to write needs no request, and no device either.
    if (text.empty())
        return 0;
    RequestGuard request(*this, NewRequest(CError_WriteFailed));
    StartWriteText(text, request.Get());
    const std::int32_t written = WaitForRequest(request.Get());
    request.Finished();
    return written;
}

std::int32_t TCustomComPort::StartRead(void* buffer, std::int32_t count, TComRequest* request) {
    if (request == nullptr)
        throw EComPort(CError_InvalidAsync);
    request->Direction = rdRead;
    std::uint32_t read = 0;
    request->Taken = false;
    if (!platform_->ReadFile(deviceHandle_, buffer,
                             static_cast<std::uint32_t>(count > 0 ? count : 0), &read,
                             &request->OverlappedState) &&
        platform_->GetLastError() != ERROR_IO_PENDING)
        throw EComPort(CError_ReadFailed, LastError(*platform_));
    request->Taken = true;
    return static_cast<std::int32_t>(read);
}

std::int32_t TCustomComPort::StartReadText(std::string& text, std::int32_t count,
                                           TComRequest* request) {
    text.assign(count > 0 ? static_cast<std::size_t>(count) : 0, '\0');
    if (count <= 0)
        return 0;
    return StartRead(text.data(), count, request);
}

std::int32_t TCustomComPort::ReadBytes(void* buffer, std::int32_t count) {
    RequestGuard request(*this, NewRequest(CError_ReadFailed));
    StartRead(buffer, count, request.Get());
    const std::int32_t read = WaitForRequest(request.Get());
    request.Finished();
    return read;
}

std::int32_t TCustomComPort::ReadText(std::string& text, std::int32_t count) {
    text.clear();
    // Nothing to read needs no request, and no device either.
    if (count <= 0)
        return 0;
    RequestGuard request(*this, NewRequest(CError_ReadFailed));
    StartReadText(text, count, request.Get());
    try {
        const std::int32_t read = WaitForRequest(request.Get());
        request.Finished();
        text.resize(static_cast<std::size_t>(read));
        return read;
    } catch (...) {
        text.clear();
        throw;
    }
}

std::int32_t TCustomComPort::WaitForRequest(TComRequest* request) {
    if (request == nullptr)
        throw EComPort(CError_InvalidAsync);
    std::uint32_t transferred = 0;
    const bool ended =
        platform_->WaitForSingleObject(request->OverlappedState.hEvent, INFINITE) == WAIT_OBJECT_0;
    if (!ended || !platform_->GetOverlappedResult(deviceHandle_, &request->OverlappedState,
                                                  &transferred, false))
        throw EComPort(request->Direction == rdWrite ? CError_WriteFailed : CError_ReadFailed,
                       LastError(*platform_));
    if (request->Direction == rdRead) {
        // Asking the device for the queue count would also clear its pending line errors,
        // so it is asked only when a link wants to hear that the input ran dry.
        if (AnyLinkHas(&PortLink::RxActivitySlot) && InputQueued() == 0)
            NotifyLinks(&PortLink::RxActivitySlot, false);
    } else if (request->SentCopy) {
        NotifyLinks(&PortLink::TxBufSlot, static_cast<const void*>(request->SentCopy->data()),
                    request->SentLength);
    }
    return static_cast<std::int32_t>(transferred);
}

void TCustomComPort::AbortAllRequests() {
    if (!platform_->PurgeComm(deviceHandle_, PURGE_TXABORT | PURGE_RXABORT))
        throw EComPort(CError_PurgeFailed, LastError(*platform_));
}

void TCustomComPort::ClearErrors(std::uint32_t& inQueue, std::uint32_t& outQueue) {
    std::uint32_t errors = 0;
    TComStat stat;
    if (!platform_->ClearCommError(deviceHandle_, &errors, &stat))
        throw EComPort(CError_ClearComFailed, LastError(*platform_));
    inQueue = stat.cbInQue;
    outQueue = stat.cbOutQue;
    unreportedErrors_ |= errors;
}

std::int32_t TCustomComPort::InputQueued() {
    std::uint32_t in = 0, out = 0;
    ClearErrors(in, out);
    return static_cast<std::int32_t>(in);
}

std::int32_t TCustomComPort::OutputQueued() {
    std::uint32_t in = 0, out = 0;
    ClearErrors(in, out);
    return static_cast<std::int32_t>(out);
}

TModemSignals TCustomComPort::ModemSignals() {
    std::uint32_t status = 0;
    if (!platform_->GetCommModemStatus(deviceHandle_, &status))
        throw EComPort(CError_ModemStatFailed, LastError(*platform_));
    return SignalsOf(status);
}

std::optional<TModemSignals> TCustomComPort::SignalsToReport() {
    std::uint32_t status = 0;
    if (platform_->GetCommModemStatus(deviceHandle_, &status))
        return SignalsOf(status);
    const std::uint32_t error = platform_->GetLastError();
    if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED)
        return std::nullopt;
    throw EComPort(CError_ModemStatFailed, static_cast<std::int32_t>(error));
}

TComErrors TCustomComPort::TakeLineErrors() {
    std::uint32_t in = 0, out = 0;
    ClearErrors(in, out);
    const std::uint32_t word = unreportedErrors_.exchange(0);
    TComErrors errors = SetOf<TComError, std::uint8_t>(word, kLineErrorBits);
    if (!parity_->Check())
        errors.Exclude(ceRxParity);
    return errors;
}
