#include "SocketReadable.h"

#include <winsock2.h>

namespace db {

// The client library hands its SOCKET over as an int.
bool SocketReadable(int socket) {
    WSAPOLLFD p{};
    p.fd = SOCKET(socket);
    p.events = POLLRDNORM;
    return WSAPoll(&p, 1, 0) != 0;
}

} // namespace db
