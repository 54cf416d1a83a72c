#include "RemoteTestPrinter.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("test printer: " + what);
}

void StartWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            Fail("Winsock does not start");
    });
}

sockaddr_in FarEnd() {
    const char* address = std::getenv(hostwire::kAddressVariable);
    if (address == nullptr)
        Fail(std::string(hostwire::kAddressVariable) +
             " is not set: run the test under plinova_com_far_end --printers");
    const std::string text = address;
    const std::size_t colon = text.rfind(':');
    sockaddr_in a{};
    a.sin_family = AF_INET;
    if (colon == std::string::npos ||
        inet_pton(AF_INET, text.substr(0, colon).c_str(), &a.sin_addr) != 1)
        Fail("no address in " + text);
    a.sin_port = htons(static_cast<u_short>(std::stoi(text.substr(colon + 1))));
    return a;
}

// Closes the socket however the call ends.
struct Connection {
    SOCKET s = INVALID_SOCKET;
    ~Connection() {
        if (s != INVALID_SOCKET)
            closesocket(s);
    }
};

} // namespace

hostwire::Message RemoteTestPrinter::Call(hostwire::Message request) const {
    StartWinsock();
    const sockaddr_in address = FarEnd();
    Connection c;
    c.s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (c.s == INVALID_SOCKET ||
        connect(c.s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        Fail("the far end does not answer (Winsock error " + std::to_string(WSAGetLastError()) +
             ")");
    const std::string bytes = hostwire::Encode(request);
    for (std::size_t sent = 0; sent < bytes.size();) {
        const int n = send(c.s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0)
            Fail("the far end took no request " + request[0]);
        sent += static_cast<std::size_t>(n);
    }
    std::string buffer;
    char chunk[4096];
    for (;;) {
        if (std::optional<hostwire::Message> reply = hostwire::TakeMessage(buffer)) {
            if (reply->empty() || (*reply)[0] != "ok")
                Fail(request[0] + ": " + (reply->size() > 1 ? (*reply)[1] : "no answer"));
            return *reply;
        }
        const int got = recv(c.s, chunk, sizeof chunk, 0);
        if (got <= 0)
            Fail("the far end ended the call " + request[0] + " unanswered");
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

hostwire::Message RemoteTestPrinter::On(const std::string& call,
                                        hostwire::Message arguments) const {
    arguments.insert(arguments.begin(), {call, id_});
    return Call(std::move(arguments));
}

RemoteTestPrinter::RemoteTestPrinter() {
    const hostwire::Message made = Call({"new"});
    if (made.size() < 3)
        Fail("the far end made no printer");
    id_ = made[1];
    port_ = made[2];
    created_ = Clock::now();
}

RemoteTestPrinter::~RemoteTestPrinter() {
    try {
        On("delete");
    } catch (const std::exception&) {
        // The far end removes every printer when the test program ends.
    }
}

void RemoteTestPrinter::SetInsertAfter(int requests) {
    On("insert-after", {std::to_string(requests)});
}

void RemoteTestPrinter::SetRemoveAfter(int requests) {
    On("remove-after", {std::to_string(requests)});
}

void RemoteTestPrinter::Script(std::deque<std::string> replies) {
    On("script", hostwire::Message(replies.begin(), replies.end()));
}

void RemoteTestPrinter::Send(const std::string& bytes) {
    On("send", {bytes});
}

std::string RemoteTestPrinter::Received() const {
    return On("received").at(1);
}

RemoteTestPrinter::Clock::time_point RemoteTestPrinter::ArrivalOf(std::size_t offset) const {
    const std::string since = On("arrival", {std::to_string(offset)}).at(1);
    if (since.empty())
        return Clock::time_point::max();
    return created_ + std::chrono::microseconds(std::stoll(since));
}

int RemoteTestPrinter::StatusRequests() const {
    return std::stoi(On("status-requests").at(1));
}

void RemoteTestPrinter::Clear() {
    On("clear");
}

bool RemoteTestPrinter::WaitFor(const std::string& needle,
                                std::chrono::milliseconds timeout) const {
    return On("wait-for", {needle, std::to_string(timeout.count())}).at(1) == "1";
}

void RemoteTestPrinter::Unplug() {
    On("unplug");
}

void RemoteTestPrinter::StallAfter(const std::string& needle) {
    On("stall-after", {needle});
}

bool RemoteTestPrinter::Stalled() const {
    return On("stalled").at(1) == "1";
}

void RemoteTestPrinter::Resume() {
    On("resume");
}
