#pragma once

namespace db {

// Whether a connected socket has something to read (or has failed) right now, without
// waiting. One source file per system.
bool SocketReadable(int socket);

} // namespace db
