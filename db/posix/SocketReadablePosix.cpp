#include "SocketReadable.h"

#include <cerrno>
#include <poll.h>

namespace db {

bool SocketReadable(int socket) {
    pollfd p{socket, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&p, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready != 0;
}

} // namespace db
