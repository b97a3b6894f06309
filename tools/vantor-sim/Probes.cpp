#include "Probes.h"

#include "Crc16.h"
#include "device/VantorCodes.h"

namespace {

constexpr std::int16_t kDriftLimit = 2 * 16;  // a sensor wanders at most 2 degrees off its base

bool IsDisabled(int input)
{
    return input % 16 == 0;
}

std::uint8_t LinkState(int input)
{
    if (input % 25 == 13)
        return 3;
    if (input % 30 == 21)
        return 2;
    return 0;
}

}  // namespace

Probes::Probes(std::uint64_t seed) : Random_(seed)
{
    for (int input = 1; input <= vantor::kInputCount; ++input) {
        Probe& probe = Probes_[input - 1];
        probe.Link = LinkState(input);
        probe.Battery = static_cast<std::uint8_t>(Random_.Between(15, 100));
        probe.SoftVersion = static_cast<std::uint8_t>(0x20 + input % 3);
        // A rod hangs in grain: the upper sensors run a little warmer.
        const int rod = Random_.Between(4 * 16, 20 * 16);
        for (int i = 0; i < kSensors; ++i) {
            probe.Base[i] = static_cast<std::int16_t>(rod + i * 8 + Random_.Between(-8, 8));
            probe.Temper[i] = probe.Base[i];
        }
        if (input % 10 == 5 && input <= 85) {
            const int k = input / 10;
            probe.Status[k % kSensors] = static_cast<std::uint16_t>(vantor::kSensorStatusFirst + k);
        }
    }
}

InputSettings Probes::InitialSettings(int input, std::uint16_t plantBase)
{
    InputSettings settings;
    settings.Enabled = !IsDisabled(input);
    settings.PlantNumber = static_cast<std::uint16_t>(plantBase + input);
    settings.IntervalMinutes = 5;
    settings.SetPoint = 15 * 16;
    return settings;
}

void Probes::Drift(Probe& probe)
{
    if (probe.Reads++ % 2 != 0)
        return;
    for (int i = 0; i < kSensors; ++i) {
        const int step = Random_.Between(-4, 4);  // mostly still, now and then 1/16 degree
        const int next = probe.Temper[i] + (step == -4 ? -1 : step == 4 ? 1 : 0);
        if (next >= probe.Base[i] - kDriftLimit && next <= probe.Base[i] + kDriftLimit)
            probe.Temper[i] = static_cast<std::int16_t>(next);
    }
}

std::array<std::uint16_t, Probes::kRegisters> Probes::Read(int input, const InputSettings& settings)
{
    std::array<std::uint16_t, kRegisters> block{};
    if (!settings.Enabled) {
        block[0] = 1;
        return block;
    }
    Probe& probe = Probes_[input - 1];
    if (probe.Link == 0)
        Drift(probe);
    block[0] = probe.Link;
    block[1] = probe.Battery;
    for (int i = 0; i < kSensors; ++i) {
        if (probe.Status[i] != 0) {
            block[3 + i] = probe.Status[i];
            continue;
        }
        block[3 + i] = static_cast<std::uint16_t>(probe.Temper[i]);
        if (probe.Temper[i] >= settings.SetPoint)
            block[2] |= static_cast<std::uint16_t>(1 << i);
    }
    block[9] = probe.SoftVersion;
    block[10] = settings.PlantNumber;
    const std::uint8_t identity[] = {static_cast<std::uint8_t>(settings.PlantNumber >> 8),
                                     static_cast<std::uint8_t>(settings.PlantNumber & 0xFF), probe.SoftVersion};
    block[11] = Crc16(identity, sizeof identity);
    return block;
}
