#pragma once

#include "Bytes.h"
#include "Probes.h"
#include "StopSignal.h"

#include <cstdint>
#include <optional>
#include <string>

#include <modbus.h>

// The Vantor controller behind the line: its registers, its guarded writes and its
// identification. Reads and plain writes are answered by libmodbus from the register mapping;
// the guards, the probes and the identification are ours.
class Controller
{
public:
    static constexpr std::uint16_t kInitialPlantNumber = 3107;

    struct Config
    {
        std::uint8_t Address = 1;
        std::uint32_t Baud = 0;
        char Parity = 'E';
        std::uint64_t Seed = 1;
        std::uint8_t ForcedException = 0;  // answer everything with this code; 0: off
        int ExceptionFrom = 1;             // ..from this request to our address on (1: the first)
        int LoadingMs = 0;                 // how long the loading mode lasts; 0: until exit
        std::uint16_t PlantBase = 20000;   // input n's probe has plant number PlantBase + n
        std::uint16_t PlantNumber = kInitialPlantNumber;
    };

    // What became of one frame.
    struct Reply
    {
        std::optional<Bytes> Answer;  // nothing when the controller keeps quiet
        std::string Note;             // why, for the log
        bool Carried = false;         // a write taken into the registers
    };

    static constexpr std::uint8_t kFreqChannel = 7;

    explicit Controller(const Config& config);  // throws std::runtime_error
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    Reply Handle(const Bytes& frame);
    // Switched while running, as the faults of the line.
    // The probes' next messages carry the faults at once, whatever read comes next.
    void SetProbeFaults(const ProbeFaults& faults)
    {
        Probes_.SetFaults(faults);
        LastRequest_.clear();
    }
    // Switched while running; the count of requests goes on.
    void SetForcedException(std::uint8_t code, int from)
    {
        ForcedException_ = code;
        ExceptionFrom_ = from;
    }

private:
    void Release();
    // again: the frame before was this same one, and the probes' messages it read are recent.
    Reply HandleRead(const Bytes& frame, bool again);
    Reply HandleWrite(const Bytes& frame);
    Reply HandleIdentification(const Bytes& frame);
    // The reply libmodbus builds from the mapping, which it also updates for writes.
    Reply LibmodbusReply(const Bytes& frame, std::string note);
    // No answer at all to a broadcast.
    static Reply Exception(const Bytes& frame, std::uint8_t code, std::string note);

    bool InLoadingMode();
    void RefreshInputs(std::uint16_t first, std::uint16_t count);
    InputSettings SettingsOf(int input) const;
    std::uint16_t& Holding(std::uint16_t reg) { return Mapping_->tab_registers[reg]; }

    std::uint8_t Address_;
    std::uint8_t ForcedException_;
    int ExceptionFrom_;
    int Requests_ = 0;  // answerable requests so far
    Bytes LastRequest_;  // the frame before this one
    stop_signal::Clock::time_point Refreshed_{};  // when a read last took new radio messages
    int LoadingMs_;
    bool ServiceOpen_ = false;
    std::optional<stop_signal::Clock::time_point> LoadingUntil_;
    Probes Probes_;
    modbus_t* Modbus_ = nullptr;
    modbus_mapping_t* Mapping_ = nullptr;
    int Capture_[2] = {-1, -1};  // libmodbus writes its replies here; we read them back
};
