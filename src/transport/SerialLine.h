#pragma once

#include "transport/ComTypes.h"
#include "transport/DeviceControlBlock.h"
#include "transport/SerialPorts.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// The device behind a port name: "/dev/x" is a path, "COMn" is /dev/ttyS<n-1>, any other name
// is /dev/<name>.
QString PortDevicePath(const QString& port);

// The driver's time-outs, in the order it takes them; 0xFFFFFFFF is the largest value.
struct TLineTimeouts
{
    std::uint32_t ReadInterval = 0xFFFFFFFF;
    std::uint32_t ReadTotalMultiplier = 0;
    std::uint32_t ReadTotalConstant = 0;
    std::uint32_t WriteTotalMultiplier = 100;
    std::uint32_t WriteTotalConstant = 1000;
};

// The interrupt counters of a serial driver; a pseudo-terminal has none.
struct TLineCounters
{
    int Cts = 0, Dsr = 0, Ring = 0, Carrier = 0;
    int Frame = 0, Parity = 0, Overrun = 0, Break = 0, BufferOverrun = 0;
};

class TSerialLine;

// The least a read waits, whatever the time-outs say: in all, and between two bytes. Time-outs
// made for a fast line are too short for the characters of a slow one.
struct TReadFloor
{
    std::chrono::milliseconds Total{0};
    std::chrono::milliseconds Interval{0};
};

// One read or write in flight. Each has an event of its own, so that aborting ends exactly the
// transfers pending at that moment and the waits stay in the kernel.
class TTransferRecord
{
public:
    enum TKind : std::uint8_t { tkWrite, tkRead };

    TTransferRecord();
    ~TTransferRecord();
    TTransferRecord(const TTransferRecord&) = delete;
    TTransferRecord& operator=(const TTransferRecord&) = delete;

    TKind Kind() const { return Kind_; }
    qsizetype Done() const { return Done_; }
    // For a read, before it starts; the driver's special read modes ignore it.
    void SetReadFloor(const TReadFloor& floor) { Floor_ = floor; }

private:
    friend class TSerialLine;

    TKind Kind_ = tkRead;
    int Event_ = -1;
    int EventError_ = 0;
    bool Signalled_ = false;  // under the line's mutex, while registered
    TSerialLine* Line_ = nullptr;  // while registered with a line
    char* Buffer_ = nullptr;
    qsizetype Count_ = 0;
    qsizetype Done_ = 0;
    std::chrono::steady_clock::time_point Started_;
    std::chrono::steady_clock::time_point LastByte_;
    TReadFloor Floor_;
};

// The POSIX stand-in for the serial driver: a terminal device opened non-blocking, with the
// driver's read and write time-out rules kept on top of poll(). Every operation returns 0 or the
// errno of its failure. Transfers may run on another thread than the one that opens and closes;
// closing aborts them and waits until they have let go of the descriptor.
class TSerialLine
{
public:
    TSerialLine() = default;
    ~TSerialLine();
    TSerialLine(const TSerialLine&) = delete;
    TSerialLine& operator=(const TSerialLine&) = delete;

    // Opens exclusively: a second open of the same device fails with EBUSY.
    int Open(const QString& port);
    // The terminal's exclusive mode ends with the close.
    void Close();
    // The path under which the device last opened comes back after it went away: its stable
    // serial/by-id link when it has one (an adapter plugged in again may get another tty name),
    // else the path it was opened by.
    QString ReturnPath() const;
    // Whether ReturnPath is the stable link, which names one adapter only.
    bool ReturnsByLink() const;
    // The adapter the device was when it last opened; empty when it is not on USB.
    TUsbIdentity OpenedIdentity() const;

    // Set once, before the first open. Called once per open, in whichever thread first sees the
    // device go away.
    void SetGoneHook(std::function<void()> hook) { GoneHook_ = std::move(hook); }
    // The device went away since the open: hung up, unplugged, its peer closed.
    bool Vanished() const { return Vanished_; }
    // For the event thread, which runs only while the line is open.
    int Handle() const { return Fd_; }

    int SetControlBlock(const TDeviceControlBlock& dcb);
    void SetTimeouts(const TLineTimeouts& timeouts);
    // The queues of a terminal are the kernel's; the sizes only set the 80 % mark of the input.
    int SetQueueSizes(int input, int output);
    int InputQueueSize() const { return InputQueueSize_; }

    // Registers the transfer and moves what can be moved at once.
    int Start(TTransferRecord& record, TTransferRecord::TKind kind, char* buffer, qsizetype count);
    // Waits until the transfer ends by the time-out rules. A read ends at its count, at
    // ReadInterval ms without a byte once one has arrived, or at ReadTotalConstant +
    // ReadTotalMultiplier x count ms; a write at its count or WriteTotalConstant +
    // WriteTotalMultiplier x count ms. ECANCELED when aborted, EIO when the device went away.
    int Await(TTransferRecord& record);
    // Drops input until none has come for the read limit of a count-byte read (no less than
    // floor), at most cap; quiet time counts from quietSince when nothing has come since.
    // ETIMEDOUT when the line is still talking after three such spans; ECANCELED when aborted, as
    // a transfer is.
    int AwaitSilence(TTransferRecord& record, qsizetype count, std::chrono::milliseconds floor,
                     std::chrono::steady_clock::time_point quietSince, std::chrono::milliseconds cap);
    // Ends every transfer pending now.
    void AbortTransfers();

    int Purge(bool input, bool output);
    int PendingInput(int& count);
    int TakeErrors(TComErrors& errors, bool parityChecked);
    // Lines off for a device without modem lines.
    int ModemLines(std::uint8_t& lines);
    // ENOTTY or EINVAL for a device without counters.
    int ReadCounters(TLineCounters& counters) const;
    // Bytes written so far, to tell a drained output from an idle one.
    std::uint64_t Written() const { return Written_; }
    // Which open of any line of the process this one is (they are numbered from 1); 0 while closed.
    std::uint64_t OpenSerial() const { return OpenSerial_; }

    // Hang-up, a removed adapter, a closed peer. Reported once as a line error.
    void MarkGone();

private:
    friend class TTransferRecord;

    int Move(TTransferRecord& record);
    int WaitReady(TTransferRecord& record, std::chrono::steady_clock::time_point deadline, bool watchLine);
    int Gone();
    // EIO from the device means it is gone.
    int Failed(int error);
    // Under Mutex_.
    void SignalTransfers();
    void Unregister(TTransferRecord& record);

    int Fd_ = -1;
    mutable std::mutex Mutex_;
    std::condition_variable Released_;
    bool Closing_ = false;
    std::vector<TTransferRecord*> Transfers_;
    TLineTimeouts Timeouts_;
    int InputQueueSize_ = 1024;
    TLineCounters Taken_;
    // A character's time on the line at the applied settings; 0 before any.
    std::chrono::steady_clock::duration CharTime_{};
    std::atomic<bool> IoErrorPending_ = false;
    std::atomic<bool> Vanished_ = false;
    std::function<void()> GoneHook_;
    // Under Mutex_.
    QString OpenedPath_;
    QString StableLink_;
    TUsbIdentity Identity_;
    std::atomic<std::uint64_t> Written_ = 0;
    std::atomic<std::uint64_t> OpenSerial_ = 0;
};
