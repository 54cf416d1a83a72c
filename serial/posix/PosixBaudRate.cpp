#include "posix/PosixBaudRate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace serial {

int SetArbitraryBaudRate(int fd, std::uint32_t rate) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return errno;
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    if (ioctl(fd, TCSETS2, &settings) != 0)
        return errno;
    return 0;
}

} // namespace serial
