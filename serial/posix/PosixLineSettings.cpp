#include "posix/PosixLineSettings.h"

#include "ComErrorCodes.h"
#include "posix/PosixErrors.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <termios.h>

namespace serial {

namespace {

struct Rate {
    std::uint32_t bitsPerSecond;
    speed_t speed;
};

constexpr Rate standardRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};

bool StandardSpeed(std::uint32_t rate, speed_t& speed) {
    for (const Rate& r : standardRates)
        if (r.bitsPerSecond == rate) {
            speed = r.speed;
            return true;
        }
    return false;
}

bool Valid(const TDCB& dcb) {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS || dcb.fDtrControl > DTR_CONTROL_HANDSHAKE ||
        dcb.fRtsControl > RTS_CONTROL_TOGGLE)
        return false;
    if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar)
        return false;
    return true;
}

} // namespace

std::uint32_t ApplyDeviceControlBlock(PosixSys& sys, int fd, const TDCB& dcb, bool hasModemLines) {
    if (!Valid(dcb))
        return ERROR_INVALID_PARAMETER;
    termios t{};
    if (sys.GetAttr(fd, t) != 0)
        return ErrnoToSystemError(errno);
    cfmakeraw(&t);
    // Errors and breaks arrive marked in the byte stream; the decoder turns them into line
    // events, replacement characters and error bits.
    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | ISTRIP | IXANY);
    t.c_iflag |= PARMRK;
    if (dcb.fParity)
        t.c_iflag |= INPCK;
    if (dcb.fOutX)
        t.c_iflag |= IXON;
    if (dcb.fInX)
        t.c_iflag |= IXOFF;

    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dcb.ByteSize - 5];
    if (dcb.StopBits != ONESTOPBIT)
        t.c_cflag |= CSTOPB;
    switch (dcb.Parity) {
    case ODDPARITY:
        t.c_cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        t.c_cflag |= PARENB;
        break;
    case MARKPARITY:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SPACEPARITY:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // The kernel couples both directions of hardware flow control in one flag.
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        t.c_cflag |= CRTSCTS;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    // With one byte as the minimum an empty queue reads as EAGAIN on the non-blocking
    // descriptor, so that a read of 0 bytes can only mean the line was hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    speed_t speed = B9600;
    const bool standard = StandardSpeed(dcb.BaudRate, speed);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (sys.SetAttr(fd, t) != 0)
        return ErrnoToSystemError(errno);
    if (!standard) {
        if (sys.SetCustomRate(fd, dcb.BaudRate) != 0)
            return ErrnoToSystemError(errno);
    }
    // tcsetattr succeeds when any part was taken; a device that cannot run the frame asked
    // for keeps its own, and that is a refusal.
    termios taken{};
    if (sys.GetAttr(fd, taken) != 0)
        return ErrnoToSystemError(errno);
    if ((taken.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) !=
        (t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)))
        return ERROR_INVALID_PARAMETER;

    if (hasModemLines) {
        int set = 0;
        int clear = 0;
        (dcb.fDtrControl == DTR_CONTROL_DISABLE ? clear : set) |= TIOCM_DTR;
        if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE)
            (dcb.fRtsControl == RTS_CONTROL_DISABLE ? clear : set) |= TIOCM_RTS;
        if ((set != 0 && sys.SetModemLines(fd, set) != 0) ||
            (clear != 0 && sys.ClearModemLines(fd, clear) != 0))
            return ErrnoToSystemError(errno);
    }
    return ERROR_SUCCESS;
}

} // namespace serial
