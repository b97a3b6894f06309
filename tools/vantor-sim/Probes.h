#pragma once

#include "Random.h"

#include <array>
#include <cstdint>

// An input's settings as the holding registers keep them.
struct InputSettings
{
    bool Enabled = true;
    std::uint16_t PlantNumber = 0;
    std::uint16_t IntervalMinutes = 5;
    std::int16_t SetPoint = 0;  // 1/16 degree
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
    // temperatures take one small random step at every second read: a controller keeps a probe's
    // last radio message, so of three answers asked in a row two are the same.
    std::array<std::uint16_t, kRegisters> Read(int input, const InputSettings& settings);

private:
    struct Probe
    {
        std::uint8_t Link = 0;  // 0 live, 2 not updated, 3 silent
        std::uint8_t Battery = 100;
        std::uint8_t SoftVersion = 0x21;
        std::array<std::int16_t, kSensors> Base{};  // 1/16 degree
        std::array<std::int16_t, kSensors> Temper{};
        std::array<std::uint16_t, kSensors> Status{};  // 0 or a sensor status code
        std::uint32_t Reads = 0;
    };

    void Drift(Probe& probe);

    Random Random_;
    std::array<Probe, 192> Probes_;
};
