#pragma once

#include "Random.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

// An input's settings as the holding registers keep them.
struct InputSettings
{
    bool Enabled = true;
    std::uint16_t PlantNumber = 0;
    std::uint16_t IntervalMinutes = 5;
    std::int16_t SetPoint = 0;  // 1/16 degree
};

// Faults of single probes, switched like the line's faults.
struct ProbeFaults
{
    struct Rise
    {
        int Input = 0;
        int Sensor = 0;  // 1..6
        double PerMinute = 0;  // °C
    };
    struct Status
    {
        int Input = 0;
        int Sensor = 0;
        std::uint16_t Code = 0;  // a sensor status code, 0xAAA7..0xAAAF
    };
    std::vector<Rise> Rises;      // sensors that climb from the moment the fault is in force
    std::vector<Status> Statuses; // sensors that report a status instead of a temperature
    std::vector<int> Lost;        // inputs whose probe has gone silent (exchange state 3)
};

// The 192 Stelk probes behind the controller's inputs. A fixed scenery, so that tests can
// count on it; the seed only moves temperatures and batteries:
//   inputs 16, 32, .. 192           disabled (exchange state 1), readings zero
//   inputs 13, 38, 63, .. 188       probe silent (state 3), readings frozen
//   inputs 21, 51, 81, .. 171       data not updated (state 2), readings frozen
//   inputs 5, 15, .. 85 (k = 0..8)  sensor k mod 6 + 1 reports status 0xAAA7 + k
class Probes
{
public:
    static constexpr int kSensors = 6;
    static constexpr int kRegisters = 16;  // input registers per input

    explicit Probes(std::uint64_t seed);

    static InputSettings InitialSettings(int input, std::uint16_t plantBase);

    // The input's 16 input registers, from its probe and its settings. A live probe's
    // temperatures take one small random step per read.
    std::array<std::uint16_t, kRegisters> Read(int input, const InputSettings& settings);

    // The probe faults in force from now on. A rise already in force at the same rate goes on; one
    // taken away leaves its sensor where it got to.
    void SetFaults(const ProbeFaults& faults);

private:
    struct Probe
    {
        std::uint8_t Link = 0;  // 0 live, 2 not updated, 3 silent
        std::uint8_t Battery = 100;
        std::uint8_t SoftVersion = 0x21;
        std::array<std::int16_t, kSensors> Base{};  // 1/16 degree
        std::array<std::int16_t, kSensors> Temper{};
        std::array<std::uint16_t, kSensors> Status{};  // 0 or a sensor status code
    };

    void Drift(Probe& probe);

    using Clock = std::chrono::steady_clock;
    using SensorKey = std::pair<int, int>;  // input, sensor 1..6
    struct Climb
    {
        double PerMinute = 0;
        Clock::time_point Since;
        std::int16_t From = 0;  // 1/16 degree
    };
    // The temperature a climbing sensor has reached.
    static std::int16_t Climbed(const Climb& climb);

    Random Random_;
    std::array<Probe, 192> Probes_;
    std::map<SensorKey, Climb> Climbs_;
    std::map<SensorKey, std::uint16_t> Statuses_;
    std::set<int> Lost_;
};
