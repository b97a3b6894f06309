#include "SerialLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using stop_signal::Clock;
using namespace std::chrono_literals;

namespace {

// Longest Modbus RTU frame; anything longer is noise.
constexpr std::size_t kMaxFrame = 256;

// Start bit, 8 data bits, parity or a second stop bit, stop bit.
constexpr int kBitsPerChar = 11;

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

speed_t SpeedConstant(std::uint32_t baud)
{
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

// Raw 8-bit line. A pseudo-terminal ignores the speed, so speeds without a constant
// (14400, 56000) only pace there; a real device refuses them.
void Configure(int fd, const LineSettings& settings, bool isDevice)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        Fail("tcgetattr");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(PARENB | PARODD | CSTOPB);
    if (settings.Parity == 'E')
        tio.c_cflag |= PARENB;
    else if (settings.Parity == 'O')
        tio.c_cflag |= PARENB | PARODD;
    else
        tio.c_cflag |= CSTOPB;  // no parity: two stop bits keep the character at 11 bits
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const std::uint32_t baud = settings.Baud == 0 ? 9600 : settings.Baud;
    const speed_t speed = SpeedConstant(baud);
    if (speed == 0 && isDevice)
        throw std::runtime_error("the device does not support " + std::to_string(baud) + " baud");
    if (speed != 0)
        cfsetspeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        Fail("tcsetattr");
}

void SetNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        Fail("fcntl");
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

Clock::duration CharTime(std::uint32_t baud)
{
    // 9600 baud, 11 bits a character: 1.146 ms.
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(1000000000LL * kBitsPerChar / baud));
}

}  // namespace

SerialLine SerialLine::OpenPseudoTerminal(const LineSettings& settings)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        Fail("posix_openpt");
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        close(master);
        Fail("grantpt/unlockpt");
    }
    const char* name = ptsname(master);
    const std::string path = name ? name : "";
    // Holding the client end open ourselves keeps the master from reporting a hang-up (and
    // poll from spinning) while no client has the port open, and keeps the raw settings.
    const int keepAlive = path.empty() ? -1 : open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keepAlive < 0) {
        close(master);
        Fail("open " + path);
    }
    SerialLine line(master, keepAlive, path, settings);
    Configure(keepAlive, settings, false);
    SetNonBlocking(master);
    return line;
}

SerialLine SerialLine::OpenDevice(const std::string& path, const LineSettings& settings)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail("open " + path);
    SerialLine line(fd, -1, path, settings);
    Configure(fd, settings, true);
    tcflush(fd, TCIOFLUSH);
    return line;
}

SerialLine::SerialLine(int fd, int keepAliveFd, std::string clientPath, const LineSettings& settings)
    : Fd_(fd),
      KeepAliveFd_(keepAliveFd),
      ClientPath_(std::move(clientPath)),
      CharTime_(settings.Baud == 0 ? Clock::duration::zero() : CharTime(settings.Baud)),
      // 3.5 characters of silence end a frame (4 ms at 9600), but never less than 3 ms: a
      // pseudo-terminal delivers in bursts.
      FrameGap_(std::max<Clock::duration>(CharTime(settings.Baud == 0 ? 9600 : settings.Baud) * 7 / 2, 3ms)),
      Chunk_(std::max<std::uint32_t>(settings.Chunk, 1)),
      ByteGap_(std::chrono::duration_cast<Clock::duration>(CharTime_ * settings.ByteGap))
{
}

SerialLine::SerialLine(SerialLine&& other) noexcept
    : Fd_(std::exchange(other.Fd_, -1)),
      KeepAliveFd_(std::exchange(other.KeepAliveFd_, -1)),
      ClientPath_(std::move(other.ClientPath_)),
      CharTime_(other.CharTime_),
      FrameGap_(other.FrameGap_),
      Chunk_(other.Chunk_),
      ByteGap_(other.ByteGap_)
{
}

SerialLine::~SerialLine()
{
    if (KeepAliveFd_ >= 0)
        close(KeepAliveFd_);
    if (Fd_ >= 0)
        close(Fd_);
}

int SerialLine::Read(Bytes& into)
{
    std::uint8_t buffer[512];
    const ssize_t n = read(Fd_, buffer, sizeof buffer);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    // Past the longest frame only the fact that it is too long matters.
    const std::size_t room = kMaxFrame + 1 - std::min(into.size(), kMaxFrame + 1);
    into.insert(into.end(), buffer, buffer + std::min(static_cast<std::size_t>(n), room));
    return n == 0 && KeepAliveFd_ < 0 ? -1 : static_cast<int>(n);  // end of file: device gone
}

std::optional<Bytes> SerialLine::ReadFrame()
{
    Bytes frame;
    pollfd p{Fd_, POLLIN, 0};
    while (frame.empty()) {
        if (stop_signal::WaitForever(&p, 1) < 0)
            return std::nullopt;
        const bool failed = (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (p.revents & POLLIN) == 0;
        if (failed || Read(frame) < 0) {
            if (KeepAliveFd_ < 0)
                throw std::runtime_error("the device " + ClientPath_ + " is gone");
            // Cannot happen while we hold the client end; back off rather than spin.
            if (!stop_signal::SleepUntil(Clock::now() + 50ms))
                return std::nullopt;
        }
    }
    const auto firstByte = Clock::now();
    for (;;) {
        const int n = stop_signal::WaitUntil(&p, 1, Clock::now() + FrameGap_);
        if (n < 0)
            return std::nullopt;
        if (n == 0 || Read(frame) <= 0)
            break;
    }
    // A pseudo-terminal hands the request over at once; a line at this speed would still be
    // carrying it. On a real device this wait has passed already.
    if (CharTime_ != Clock::duration::zero()
        && !stop_signal::SleepUntil(firstByte + CharTime_ * static_cast<int>(std::min(frame.size(), kMaxFrame)) + FrameGap_))
        return std::nullopt;
    if (frame.size() > kMaxFrame)
        frame.clear();
    return frame;
}

bool SerialLine::Send(const Bytes& answer, const SendTiming& timing)
{
    if (timing.LateMs > 0 && !stop_signal::SleepUntil(Clock::now() + std::chrono::milliseconds(timing.LateMs)))
        return false;
    const std::size_t split = timing.GapMs > 0 ? answer.size() / 2 : answer.size();
    auto write = [this](const std::uint8_t* data, std::size_t size) {
        return CharTime_ == Clock::duration::zero() ? WriteAll(data, size) : WritePaced(data, size);
    };
    if (!write(answer.data(), split))
        return false;
    if (split == answer.size())
        return true;
    if (!stop_signal::SleepUntil(Clock::now() + std::chrono::milliseconds(timing.GapMs)))
        return false;
    return write(answer.data() + split, answer.size() - split);
}

bool SerialLine::WriteAll(const std::uint8_t* data, std::size_t size)
{
    // A client that stops reading gets its answer dropped after a second, not a hung simulator.
    const auto deadline = Clock::now() + 1s;
    while (size > 0) {
        const ssize_t n = write(Fd_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return true;  // the line failed: the answer is lost, as on a real line
        pollfd p{Fd_, POLLOUT, 0};
        const int ready = stop_signal::WaitUntil(&p, 1, deadline);
        if (ready < 0)
            return false;
        if (ready == 0)
            return true;
    }
    return true;
}

bool SerialLine::WritePaced(const std::uint8_t* data, std::size_t size)
{
    // Each chunk leaves when its last bit would have left the wire, as an adapter hands over what
    // its FIFO or USB frame gathered; a chunk of 1 is a byte-paced line.
    const auto start = Clock::now();
    for (std::size_t sent = 0; sent < size;) {
        const std::size_t chunk = std::min(Chunk_, size - sent);
        const auto due = start + CharTime_ * static_cast<int>(sent + chunk) + ByteGap_ * static_cast<int>(sent);
        if (!stop_signal::SleepUntil(due) || !WriteAll(data + sent, chunk))
            return false;
        sent += chunk;
    }
    return true;
}
