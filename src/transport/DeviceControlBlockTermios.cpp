// Kept apart from everything that includes <termios.h>: the kernel's <asm/termbits.h>, which has
// the termios2 record with its free baud rate, defines the same names differently.
#include "transport/DeviceControlBlock.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

namespace {

using D = TDeviceControlBlock;

bool Refused(const D& dcb)
{
    const std::uint32_t dtr = dcb.Flags & D::fDtrControlMask;
    const std::uint32_t rts = dcb.Flags & D::fRtsControlMask;
    const bool ctsOut = dcb.Flags & D::fOutxCtsFlow;
    // A rate beyond a signed 32-bit number came from a negative custom rate.
    return dcb.BaudRate == 0 || dcb.BaudRate > 0x7FFFFFFF || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4
        || dcb.StopBits == 1 || dcb.StopBits > 2  // one and a half stop bits: no termios flag
        || (dcb.Flags & (D::fOutxDsrFlow | D::fDsrSensitivity | D::fNull))
        || dtr == D::fDtrHandshake || rts == D::fRtsToggle
        || ctsOut != (rts == D::fRtsHandshake)  // CRTSCTS governs both directions at once
        || ((dcb.Flags & D::fErrorChar) && dcb.ErrorChar != 0);  // a parity error reads as zero
}

tcflag_t SizeFlag(std::uint8_t byteSize)
{
    switch (byteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

tcflag_t ParityFlags(std::uint8_t parity)
{
    switch (parity) {
    case 1: return PARENB | PARODD;
    case 2: return PARENB;
    case 3: return PARENB | CMSPAR | PARODD;
    case 4: return PARENB | CMSPAR;
    default: return 0;
    }
}

// A driver that cannot make the rate picks another and says so in the record it hands back.
bool RateHeld(speed_t wanted, speed_t actual)
{
    return std::llabs(static_cast<long long>(wanted) - static_cast<long long>(actual)) * 100 <= 3LL * wanted;
}

// DTR and RTS held at a level. A device without modem lines (a pseudo-terminal) has none to set.
int SetModemLine(int fd, int line, bool on)
{
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || errno == ENOTTY || errno == EINVAL)
        return 0;
    return errno;
}

}  // namespace

int ApplyDeviceControlBlock(int fd, const TDeviceControlBlock& dcb)
{
    if (Refused(dcb))
        return EINVAL;
    termios2 old{};
    if (ioctl(fd, TCGETS2, &old) != 0)
        return errno;

    const bool replace = dcb.Flags & D::fErrorChar;
    const std::uint32_t rts = dcb.Flags & D::fRtsControlMask;
    termios2 raw = old;
    // Parity checked without replacement passes the byte as received; the driver counts the error.
    // The kernel keeps its own XON/XOFF limits and always goes on sending after an XOFF it sent,
    // so XonLim, XoffLim and TxContinueOnXoff have nothing to set; the event character is not
    // seen without reading the data.
    raw.c_iflag = (replace ? INPCK : 0) | (dcb.Flags & D::fOutX ? IXON : 0) | (dcb.Flags & D::fInX ? IXOFF : 0);
    raw.c_oflag = 0;
    raw.c_lflag = 0;
    raw.c_cflag = (old.c_cflag & HUPCL) | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT) | SizeFlag(dcb.ByteSize)
                | ParityFlags(dcb.Parity) | (dcb.StopBits == 2 ? CSTOPB : 0)
                | (rts == D::fRtsHandshake ? CRTSCTS : 0);
    raw.c_ispeed = dcb.BaudRate;
    raw.c_ospeed = dcb.BaudRate;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    raw.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    raw.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    if (ioctl(fd, TCSETS2, &raw) != 0)
        return errno;

    termios2 actual{};
    if (ioctl(fd, TCGETS2, &actual) != 0 || !RateHeld(dcb.BaudRate, actual.c_ospeed)) {
        ioctl(fd, TCSETS2, &old);
        return EINVAL;
    }
    if (const int error = SetModemLine(fd, TIOCM_DTR, (dcb.Flags & D::fDtrControlMask) == D::fDtrEnable))
        return error;
    if (rts != D::fRtsHandshake)
        return SetModemLine(fd, TIOCM_RTS, rts == D::fRtsEnable);
    return 0;
}
