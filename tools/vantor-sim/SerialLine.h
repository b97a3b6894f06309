#pragma once

#include "Bytes.h"
#include "StopSignal.h"

#include <cstdint>
#include <optional>
#include <string>

struct LineSettings
{
    std::uint32_t Baud = 0;  // 0: no pacing, the line is set to 9600
    char Parity = 'E';       // 'N', 'E' or 'O'
    std::uint32_t Chunk = 1; // paced answers go out this many bytes at a time
    double ByteGap = 0;      // characters of silence between two bytes of a paced answer
};

// How an answer goes out on the line.
struct SendTiming
{
    int LateMs = 0;  // before the first byte
    int GapMs = 0;   // in the middle of the answer
};

// The simulator's end of the line: the master side of a pseudo-terminal, or a serial device.
// Requests are framed by line silence, as Modbus RTU frames them.
class SerialLine
{
public:
    // Throws std::runtime_error when the line cannot be set up.
    static SerialLine OpenPseudoTerminal(const LineSettings& settings);
    static SerialLine OpenDevice(const std::string& path, const LineSettings& settings);

    SerialLine(SerialLine&& other) noexcept;
    SerialLine& operator=(SerialLine&&) = delete;
    ~SerialLine();

    // The path a client opens.
    const std::string& ClientPath() const { return ClientPath_; }

    // The next request; nullopt when a stop was requested. A frame longer than any Modbus
    // frame comes back empty.
    std::optional<Bytes> ReadFrame();
    // False when a stop was requested before the answer was out.
    bool Send(const Bytes& answer, const SendTiming& timing);

private:
    SerialLine(int fd, int keepAliveFd, std::string clientPath, const LineSettings& settings);

    int Read(Bytes& into);
    bool WriteAll(const std::uint8_t* data, std::size_t size);
    bool WritePaced(const std::uint8_t* data, std::size_t size);

    int Fd_;
    int KeepAliveFd_;  // our own descriptor of the pseudo-terminal's client end, or -1
    std::string ClientPath_;
    stop_signal::Clock::duration CharTime_;  // 0 without pacing
    stop_signal::Clock::duration FrameGap_;  // silence that ends a request
    std::size_t Chunk_;
    stop_signal::Clock::duration ByteGap_;
};
