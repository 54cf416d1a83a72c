#include "PrinterServer.h"

#include "PtyTestPrinter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace {

// COM1 to COM9 stay free for tests that map a port of their own.
constexpr int kFirstPort = 10;
constexpr int kLastPort = 255;

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string Flag(bool on) {
    return on ? "1" : "0";
}

} // namespace

struct PrinterServer::Printer {
    PtyTestPrinter printer;
    std::filesystem::path link;
    std::string port;
    PtyTestPrinter::Clock::time_point created = PtyTestPrinter::Clock::now();

    ~Printer() {
        std::error_code ignored; // a link already gone needs no removing
        std::filesystem::remove(link, ignored);
    }
};

PrinterServer::PrinterServer(std::filesystem::path dosdevices)
    : dosdevices_(std::move(dosdevices)) {
    std::filesystem::create_directories(dosdevices_);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        Fail("printer server: socket");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        const int error = errno;
        ::close(listener_);
        errno = error;
        Fail("printer server: listen on loopback");
    }
    address_ = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    acceptor_ = std::thread([this] { Accept(); });
}

PrinterServer::~PrinterServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    // Wakes the acceptor from accept(); closing alone does not.
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    std::unique_lock lock(mutex_);
    served_.wait(lock, [&] { return serving_ == 0; });
}

void PrinterServer::Accept() {
    for (;;) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(mutex_);
        if (stopping_) {
            if (connection >= 0)
                ::close(connection);
            return;
        }
        if (connection < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        // A request may wait (for bytes to come, say): each is served on a thread of its own,
        // which the destructor waits for.
        ++serving_;
        std::thread([this, connection] {
            Serve(connection);
            std::lock_guard done(mutex_);
            --serving_;
            served_.notify_all();
        }).detach();
    }
}

void PrinterServer::Serve(int connection) {
    std::string buffer;
    std::optional<hostwire::Message> request;
    try {
        char chunk[4096];
        while (!(request = hostwire::TakeMessage(buffer))) {
            const ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            buffer.append(chunk, static_cast<std::size_t>(got));
        }
    } catch (const std::exception&) {
        request.reset(); // a broken stream: the caller sees the connection close unanswered
    }
    if (request) {
        hostwire::Message reply;
        try {
            reply = Handle(*request);
        } catch (const std::exception& e) {
            reply = {"error", e.what()};
        }
        const std::string bytes = hostwire::Encode(reply);
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n =
                ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
    }
    ::close(connection);
}

hostwire::Message PrinterServer::NewPrinter() {
    auto entry = std::make_shared<Printer>();
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const std::filesystem::path link = dosdevices_ / ("com" + std::to_string(n));
        // Making the link is what takes the port: another far end on the same prefix finds
        // it there and goes on to the next.
        if (::symlink(entry->printer.DevicePath().c_str(), link.c_str()) == 0) {
            entry->link = link;
            entry->port = "COM" + std::to_string(n);
            break;
        }
        if (errno != EEXIST)
            Fail("printer server: map a COM port");
    }
    if (entry->port.empty())
        throw std::runtime_error("printer server: every COM port of the prefix is taken");
    std::lock_guard lock(mutex_);
    const std::string id = std::to_string(nextId_++);
    printers_[id] = entry;
    return {"ok", id, entry->port};
}

std::shared_ptr<PrinterServer::Printer> PrinterServer::Find(const std::string& id) {
    std::lock_guard lock(mutex_);
    const auto it = printers_.find(id);
    if (it == printers_.end())
        throw std::runtime_error("printer server: no printer " + id);
    return it->second;
}

hostwire::Message PrinterServer::Handle(const hostwire::Message& request) {
    if (request.empty())
        throw std::runtime_error("printer server: an empty request");
    const std::string& call = request[0];
    if (call == "new")
        return NewPrinter();
    if (request.size() < 2)
        throw std::runtime_error("printer server: " + call + " names no printer");
    auto arg = [&](std::size_t i) -> const std::string& {
        if (request.size() <= i + 2)
            throw std::runtime_error("printer server: " + call + " lacks an argument");
        return request[i + 2];
    };
    if (call == "delete") {
        std::shared_ptr<Printer> gone;
        std::lock_guard lock(mutex_);
        const auto it = printers_.find(request[1]);
        if (it != printers_.end()) {
            gone = it->second;
            printers_.erase(it);
        }
        return {"ok"};
    }
    const std::shared_ptr<Printer> entry = Find(request[1]);
    PtyTestPrinter& p = entry->printer;
    if (call == "insert-after") {
        p.SetInsertAfter(std::stoi(arg(0)));
    } else if (call == "remove-after") {
        p.SetRemoveAfter(std::stoi(arg(0)));
    } else if (call == "script") {
        p.Script(std::deque<std::string>(request.begin() + 2, request.end()));
    } else if (call == "send") {
        p.Send(arg(0));
    } else if (call == "received") {
        return {"ok", p.Received()};
    } else if (call == "arrival") {
        const auto at = p.ArrivalOf(std::stoul(arg(0)));
        if (at == PtyTestPrinter::Clock::time_point::max())
            return {"ok", ""};
        const auto since =
            std::chrono::duration_cast<std::chrono::microseconds>(at - entry->created);
        return {"ok", std::to_string(since.count())};
    } else if (call == "status-requests") {
        return {"ok", std::to_string(p.StatusRequests())};
    } else if (call == "clear") {
        p.Clear();
    } else if (call == "wait-for") {
        return {"ok", Flag(p.WaitFor(arg(0), std::chrono::milliseconds(std::stoll(arg(1)))))};
    } else if (call == "unplug") {
        p.Unplug();
    } else if (call == "stall-after") {
        p.StallAfter(arg(0));
    } else if (call == "stalled") {
        return {"ok", Flag(p.Stalled())};
    } else if (call == "resume") {
        p.Resume();
    } else {
        throw std::runtime_error("printer server: no call " + call);
    }
    return {"ok"};
}
