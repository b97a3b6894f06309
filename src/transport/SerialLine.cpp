#include "transport/SerialLine.h"

#include "transport/SerialPorts.h"

#include <QFile>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFF;
// How many characters a streaming read sleeps through before it looks again: a few at first,
// twice as many after each batch that the line filled, up to a few FIFOs' worth (37 ms at 9600).
constexpr qsizetype kFirstBatch = 8;
constexpr qsizetype kLastBatch = 32;

bool NoSuchFeature(int error)
{
    return error == ENOTTY || error == EINVAL;
}

// constant + multiplier x count ms from start, or none when both are 0.
std::optional<TClock::time_point> TotalDeadline(TClock::time_point start, std::uint32_t constant,
                                                std::uint32_t multiplier, qsizetype count)
{
    if (constant == 0 && multiplier == 0)
        return std::nullopt;
    // Capped at a year: beyond that the clock's nanoseconds would overflow.
    constexpr std::int64_t kYear = 365LL * 24 * 3600 * 1000;
    const std::int64_t perByte = multiplier;
    const std::int64_t bytes = perByte == 0 ? 0 : std::min<std::int64_t>(count, kYear / perByte + 1);
    const std::int64_t ms = std::min(static_cast<std::int64_t>(constant) + bytes * perByte, kYear);
    return start + std::chrono::milliseconds(ms);
}

// Start bit, data bits, parity, stop bits: 11 bits at 8E1, 1.146 ms at 9600 baud.
TClock::duration CharacterTime(const TDeviceControlBlock& dcb)
{
    if (dcb.BaudRate == 0)
        return TClock::duration::zero();
    const std::int64_t halfBits =
        2 * (1 + dcb.ByteSize + (dcb.Parity == 0 ? 0 : 1)) + (dcb.StopBits == 0 ? 2 : dcb.StopBits == 1 ? 3 : 4);
    return std::chrono::nanoseconds(halfBits * 500000000LL / dcb.BaudRate);
}

// Events of ended transfers, kept for the next ones: a new one is a file of the kernel's, made
// and closed twice an exchange. Plain data, so that a transfer ending while the process exits
// finds them still there.
std::mutex spareMutex;
std::array<int, 4> spareEvents;
std::size_t spareCount = 0;

int TakeEvent()
{
    {
        const std::lock_guard lock(spareMutex);
        if (spareCount > 0)
            return spareEvents[--spareCount];
    }
    return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

// An event that was signalled is emptied first: the next transfer must not start aborted.
void GiveBackEvent(int event, bool signalled)
{
    if (signalled) {
        std::uint64_t value = 0;
        [[maybe_unused]] const auto got = read(event, &value, sizeof value);
    }
    {
        const std::lock_guard lock(spareMutex);
        if (spareCount < spareEvents.size()) {
            spareEvents[spareCount++] = event;
            return;
        }
    }
    close(event);
}

}  // namespace

QString PortDevicePath(const QString& port)
{
    if (port.startsWith(u'/'))
        return port;
    if (port.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive)) {
        bool ok = false;
        const int number = port.mid(3).toInt(&ok, 10);
        if (ok && number >= 1 && port.mid(3).front().isDigit())
            return QStringLiteral("/dev/ttyS%1").arg(number - 1);
    }
    return QStringLiteral("/dev/") + port;
}

TTransferRecord::TTransferRecord() : Event_(TakeEvent())
{
    if (Event_ < 0)
        EventError_ = errno;
}

TTransferRecord::~TTransferRecord()
{
    if (Line_)
        Line_->Unregister(*this);
    if (Event_ >= 0)
        GiveBackEvent(Event_, Signalled_);
}

TSerialLine::~TSerialLine()
{
    Close();
}

int TSerialLine::Open(const QString& port)
{
    Close();
    const QByteArray path = QFile::encodeName(PortDevicePath(port));
    const int fd = open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Not shared, as a serial port is: a lock between processes, and the terminal's own
    // exclusive mode against anyone else. Close clears that mode again.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        return EBUSY;
    }
    ioctl(fd, TIOCEXCL);
    const QString opened = PortDevicePath(port);
    const QString stable = StableSerialLink(opened);
    const TUsbIdentity identity = UsbIdentity(opened);
    const std::lock_guard lock(Mutex_);
    Fd_ = fd;
    OpenedPath_ = opened;
    StableLink_ = stable;
    Identity_ = identity;
    IoErrorPending_ = false;
    Vanished_ = false;
    Taken_ = {};
    ReadCounters(Taken_);
    static std::atomic<std::uint64_t> opens = 0;
    OpenSerial_ = ++opens;
    return 0;
}

void TSerialLine::Close()
{
    std::unique_lock lock(Mutex_);
    if (Fd_ < 0)
        return;
    Closing_ = true;
    SignalTransfers();
    // Every transfer now wakes and lets go; only then may the number be reused.
    Released_.wait(lock, [this] { return Transfers_.empty(); });
    // The mode belongs to the terminal, not to this descriptor: a pseudo-terminal whose other
    // end stays open would keep it and refuse every later open by an ordinary user.
    ioctl(Fd_, TIOCNXCL);
    close(Fd_);
    Fd_ = -1;
    OpenSerial_ = 0;
    Closing_ = false;
    Vanished_ = false;
}

QString TSerialLine::ReturnPath() const
{
    const std::lock_guard lock(Mutex_);
    return StableLink_.isEmpty() ? OpenedPath_ : StableLink_;
}

bool TSerialLine::ReturnsByLink() const
{
    const std::lock_guard lock(Mutex_);
    return !StableLink_.isEmpty();
}

TUsbIdentity TSerialLine::OpenedIdentity() const
{
    const std::lock_guard lock(Mutex_);
    return Identity_;
}

int TSerialLine::SetControlBlock(const TDeviceControlBlock& dcb)
{
    const std::lock_guard lock(Mutex_);
    if (Fd_ < 0)
        return EBADF;
    const int error = ApplyDeviceControlBlock(Fd_, dcb);
    if (error == 0)
        CharTime_ = CharacterTime(dcb);
    return error;
}

void TSerialLine::SetTimeouts(const TLineTimeouts& timeouts)
{
    const std::lock_guard lock(Mutex_);
    Timeouts_ = timeouts;
}

int TSerialLine::SetQueueSizes(int input, int output)
{
    if (input < 0 || output < 0)
        return EINVAL;
    const std::lock_guard lock(Mutex_);
    InputQueueSize_ = input;
    return 0;
}

int TSerialLine::Start(TTransferRecord& record, TTransferRecord::TKind kind, char* buffer, qsizetype count)
{
    if (record.Event_ < 0)
        return record.EventError_;
    {
        const std::lock_guard lock(Mutex_);
        if (Fd_ < 0 || Closing_)
            return EBADF;
        if (record.Line_ != this)
            Transfers_.push_back(&record);
        record.Line_ = this;
    }
    record.Kind_ = kind;
    record.Buffer_ = buffer;
    record.Count_ = count;
    record.Done_ = 0;
    record.Started_ = TClock::now();
    record.LastByte_ = record.Started_;
    return Move(record);
}

void TSerialLine::Unregister(TTransferRecord& record)
{
    const std::lock_guard lock(Mutex_);
    std::erase(Transfers_, &record);
    record.Line_ = nullptr;
    Released_.notify_all();
}

void TSerialLine::MarkGone()
{
    IoErrorPending_ = true;
    if (!Vanished_.exchange(true) && GoneHook_)
        GoneHook_();
}

int TSerialLine::Gone()
{
    MarkGone();
    return EIO;
}

int TSerialLine::Failed(int error)
{
    return error == EIO ? Gone() : error;
}

// Moves bytes until the device has no more to give or take for now.
int TSerialLine::Move(TTransferRecord& record)
{
    while (record.Done_ < record.Count_) {
        char* at = record.Buffer_ + record.Done_;
        const size_t left = static_cast<size_t>(record.Count_ - record.Done_);
        const ssize_t moved = record.Kind_ == TTransferRecord::tkRead ? read(Fd_, at, left) : write(Fd_, at, left);
        if (moved > 0) {
            record.Done_ += moved;
            if (record.Kind_ == TTransferRecord::tkRead)
                record.LastByte_ = TClock::now();
            else
                Written_ += static_cast<std::uint64_t>(moved);
            // Less than asked is all the device had: asking again would only hear EAGAIN, a
            // system call per wake-up for nothing. What comes next is seen by the next wait.
            if (static_cast<size_t>(moved) < left)
                return 0;
            continue;
        }
        // A terminal in raw mode reads 0 bytes only once it has been hung up.
        if (moved == 0)
            return record.Kind_ == TTransferRecord::tkRead ? Gone() : 0;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return 0;
        return Failed(errno);
    }
    return 0;
}

// Blocks until the device is ready for the transfer (or, without watchLine, only sleeps), the
// deadline passes, or the transfer is aborted. 0 also when the deadline passed; the caller looks
// at the clock.
int TSerialLine::WaitReady(TTransferRecord& record, TClock::time_point deadline, bool watchLine)
{
    const bool reading = record.Kind_ == TTransferRecord::tkRead;
    pollfd fds[2] = {{record.Event_, POLLIN, 0}, {Fd_, static_cast<short>(reading ? POLLIN : POLLOUT), 0}};
    const auto left = std::max(deadline - TClock::now(), TClock::duration::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
    const timespec timeout = {static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
    const bool endless = deadline == TClock::time_point::max();
    const int ready = ppoll(fds, watchLine ? 2 : 1, endless ? nullptr : &timeout, nullptr);
    if (ready < 0)
        return errno == EINTR ? 0 : errno;
    if (fds[0].revents)
        return ECANCELED;
    if (fds[1].revents & POLLNVAL)
        return EBADF;
    // Hang-up with data still queued: the reads take the data first, then see the end.
    if ((fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & POLLIN))
        return Gone();
    return 0;
}

int TSerialLine::Await(TTransferRecord& record)
{
    TLineTimeouts timeouts;
    TClock::duration charTime;
    {
        const std::lock_guard lock(Mutex_);
        if (record.Line_ != this || Fd_ < 0)
            return EBADF;
        timeouts = Timeouts_;
        charTime = CharTime_;
    }
    const bool reading = record.Kind_ == TTransferRecord::tkRead;
    // The driver's two special read modes: return at once with what is there; or wait up to
    // ReadTotalConstant for the first byte and return with it.
    const bool atOnce = reading && timeouts.ReadInterval == kMaxTimeout && timeouts.ReadTotalMultiplier == 0
                     && timeouts.ReadTotalConstant == 0;
    const bool firstByte = reading && timeouts.ReadInterval == kMaxTimeout
                        && timeouts.ReadTotalMultiplier == kMaxTimeout && timeouts.ReadTotalConstant != 0
                        && timeouts.ReadTotalConstant != kMaxTimeout;
    std::optional<TClock::time_point> total =
        firstByte ? std::optional(record.Started_ + std::chrono::milliseconds(timeouts.ReadTotalConstant))
        : reading ? TotalDeadline(record.Started_, timeouts.ReadTotalConstant, timeouts.ReadTotalMultiplier, record.Count_)
                  : TotalDeadline(record.Started_, timeouts.WriteTotalConstant, timeouts.WriteTotalMultiplier, record.Count_);
    const bool interval = reading && !firstByte && timeouts.ReadInterval != 0;
    const bool floored = reading && !firstByte && !atOnce;
    if (floored && total)
        total = std::max(*total, record.Started_ + record.Floor_.Total);
    const TClock::duration intervalTime = std::max<TClock::duration>(
        std::chrono::milliseconds(timeouts.ReadInterval), floored ? record.Floor_.Interval : TClock::duration::zero());

    // While an answer streams in at the line's pace the wait sleeps through a batch of characters
    // instead of waking for each byte. Bytes found after such a sleep are dated by that pace from
    // the byte before: they cannot have come sooner, and the bytes of a frame follow each other
    // back to back, so the silence still counts from the last byte to within a character. The
    // sleep ends no later than that silence, the total limit or the line time of the bytes the
    // count still lacks, so each rule is looked at when it falls due. After a batch that stops
    // short of the look, or a burst faster than the line, the wait is byte by byte again.
    const TClock::duration character = reading && !atOnce && !firstByte ? charTime : TClock::duration::zero();
    std::optional<TClock::time_point> napStart;  // the look before the sleep now ended
    // The least the silence after the last bytes lasts when their date is not known.
    std::optional<TClock::time_point> gapsEnd;
    qsizetype batch = kFirstBatch;
    for (;;) {
        const qsizetype before = record.Done_;
        const TClock::time_point stampBefore = record.LastByte_;
        if (const int error = Move(record))
            return error;
        const TClock::time_point looked = TClock::now();
        const qsizetype got = record.Done_ - before;
        bool streaming = false;
        if (got > 0)
            gapsEnd.reset();
        if (got > 0 && character > TClock::duration::zero()) {
            // Where the line's pace puts the last of them, had they followed the byte before.
            const TClock::time_point paced = stampBefore + character * static_cast<TClock::rep>(got);
            streaming = paced <= looked + character;
            if (napStart && streaming) {
                // They came after the look before the sleep, and by now.
                record.LastByte_ = std::clamp(paced, *napStart, looked);
                // Still streaming only if the bytes reach up to this look.
                streaming = paced + 2 * character >= looked;
                // If not, they came slower than back to back, as Modbus allows (1.5 characters of
                // silence between bytes): the last may have come as late as this look, and the
                // next byte of the frame is due within 3.5 characters of it.
                if (!streaming)
                    gapsEnd = looked + character * 7 / 2;
                batch = std::min(2 * batch, kLastBatch);
            } else {
                // An adapter that hands bytes over in chunks hands the next one a chunk later.
                batch = std::clamp(got, kFirstBatch, kLastBatch);
            }
        }
        if (record.Done_ == record.Count_ || atOnce || (firstByte && record.Done_ > 0))
            return 0;
        TClock::time_point deadline = total.value_or(TClock::time_point::max());
        if (interval && record.Done_ > 0)
            deadline = std::min(deadline, std::max(record.LastByte_ + intervalTime, gapsEnd.value_or(TClock::time_point())));
        if (looked >= deadline)
            return 0;
        napStart.reset();
        if (streaming) {
            // A batch of characters (and half a one, so that a chunk handed over on time is
            // there), never past the silence that would end the read, its total limit, or the
            // time the bytes still missing take on the line.
            napStart = looked;
            const qsizetype missing = std::min(record.Count_ - record.Done_, batch);
            deadline = std::min(deadline, looked + character * static_cast<TClock::rep>(missing) + character / 2);
        }
        if (const int error = WaitReady(record, deadline, !streaming))
            return error;
    }
}

int TSerialLine::AwaitSilence(TTransferRecord& record, qsizetype count, std::chrono::milliseconds floor,
                              TClock::time_point quietSince, std::chrono::milliseconds cap)
{
    TLineTimeouts timeouts;
    {
        const std::lock_guard lock(Mutex_);
        timeouts = Timeouts_;
    }
    const auto started = TClock::now();
    const auto limit = TotalDeadline(started, timeouts.ReadTotalConstant, timeouts.ReadTotalMultiplier, count);
    const auto quiet = std::min<TClock::duration>(std::max<TClock::duration>(limit.value_or(started + cap) - started, floor), cap);
    char scratch[256];
    if (const int error = Start(record, TTransferRecord::tkRead, scratch, sizeof scratch))
        return error;
    if (record.Done_ == 0)
        record.LastByte_ = std::min(record.LastByte_, quietSince);
    const auto giveUp = started + 3 * quiet;
    for (;;) {
        const auto quietEnd = record.LastByte_ + quiet;
        const auto now = TClock::now();
        if (now >= quietEnd)
            return 0;
        if (now >= giveUp)
            return ETIMEDOUT;
        if (const int error = WaitReady(record, std::min(quietEnd, giveUp), true))
            return error;
        record.Done_ = 0;
        if (const int error = Move(record))
            return error;
    }
}

void TSerialLine::AbortTransfers()
{
    const std::lock_guard lock(Mutex_);
    SignalTransfers();
}

void TSerialLine::SignalTransfers()
{
    for (TTransferRecord* record : Transfers_) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(record->Event_, &one, sizeof one);
        record->Signalled_ = true;
    }
}

int TSerialLine::Purge(bool input, bool output)
{
    const std::lock_guard lock(Mutex_);
    if (Fd_ < 0)
        return EBADF;
    if (!input && !output)
        return 0;
    return tcflush(Fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) == 0 ? 0 : Failed(errno);
}

int TSerialLine::PendingInput(int& count)
{
    const std::lock_guard lock(Mutex_);
    if (Fd_ < 0)
        return EBADF;
    return ioctl(Fd_, FIONREAD, &count) == 0 ? 0 : Failed(errno);
}

int TSerialLine::ReadCounters(TLineCounters& counters) const
{
    serial_icounter_struct icount{};
    if (Fd_ < 0)
        return EBADF;
    if (ioctl(Fd_, TIOCGICOUNT, &icount) != 0)
        return errno;
    counters = {icount.cts, icount.dsr, icount.rng, icount.dcd, icount.frame, icount.parity,
                icount.overrun, icount.brk, icount.buf_overrun};
    return 0;
}

int TSerialLine::TakeErrors(TComErrors& errors, bool parityChecked)
{
    const std::lock_guard lock(Mutex_);
    if (Fd_ < 0)
        return EBADF;
    errors = {};
    if (IoErrorPending_.exchange(false))
        errors.Include(ceIO);
    TLineCounters now;
    if (const int error = ReadCounters(now))
        return NoSuchFeature(error) || errors.Contains(ceIO) ? 0 : error;
    if (now.Frame != Taken_.Frame)
        errors.Include(ceFrame);
    if (parityChecked && now.Parity != Taken_.Parity)
        errors.Include(ceRxParity);
    if (now.Overrun != Taken_.Overrun)
        errors.Include(ceOverrun);
    if (now.Break != Taken_.Break)
        errors.Include(ceBreak);
    if (now.BufferOverrun != Taken_.BufferOverrun)
        errors.Include(ceRxOver);
    Taken_ = now;
    return 0;
}

int TSerialLine::ModemLines(std::uint8_t& lines)
{
    const std::lock_guard lock(Mutex_);
    if (Fd_ < 0)
        return EBADF;
    int status = 0;
    lines = 0;
    if (ioctl(Fd_, TIOCMGET, &status) != 0)
        return NoSuchFeature(errno) ? 0 : errno;
    lines = static_cast<std::uint8_t>((status & TIOCM_CTS ? mlCTS : 0) | (status & TIOCM_DSR ? mlDSR : 0)
                                      | (status & TIOCM_RNG ? mlRing : 0) | (status & TIOCM_CAR ? mlRLSD : 0));
    return 0;
}
