#include "Controller.h"

#include "Crc16.h"
#include "Identification.h"
#include "device/VantorCodes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;

constexpr int kInputRegisters = vantor::InputBlockFirst(vantor::kInputCount) + vantor::kInputBlockSize;
constexpr int kHoldingRegisters = vantor::kModbusParityRegister + 1;

// The controller's own tables of link speeds and parities (indexes in registers 2003, 2004).
constexpr std::uint32_t kBaudTable[] = {110, 300, 600, 1200, 2400, 4800, 9600,
                                        14400, 19200, 38400, 56000, 57600, 115200};
constexpr std::uint16_t kBaudCount = std::size(kBaudTable);
constexpr std::uint16_t kParityCount = 3;  // none, odd, even

std::uint16_t BaudIndex(std::uint32_t baud)
{
    const auto* found = std::find(std::begin(kBaudTable), std::end(kBaudTable), baud == 0 ? 9600 : baud);
    return found == std::end(kBaudTable) ? 6 : static_cast<std::uint16_t>(found - std::begin(kBaudTable));
}

std::uint16_t ParityIndex(char parity)
{
    return parity == 'N' ? 0 : parity == 'O' ? 1 : 2;
}

}  // namespace

Controller::Controller(const Config& config)
    : Address_(config.Address),
      ForcedException_(config.ForcedException),
      ExceptionFrom_(config.ExceptionFrom),
      LoadingMs_(config.LoadingMs),
      Probes_(config.Seed)
{
    // The context never opens a device: its replies go into a pipe, and the line sends them
    // with whatever faults and pacing are asked for.
    Modbus_ = modbus_new_rtu("/dev/null", 9600, 'E', 8, 1);
    Mapping_ = modbus_mapping_new_start_address(0, 0, 0, 0, 0, kHoldingRegisters, 0, kInputRegisters);
    if (!Modbus_ || !Mapping_ || pipe2(Capture_, O_CLOEXEC) != 0) {
        Release();
        throw std::runtime_error(std::string("libmodbus set-up failed: ") + std::strerror(errno));
    }
    modbus_set_socket(Modbus_, Capture_[1]);
    modbus_set_slave(Modbus_, Address_);
    // libmodbus waits out its response time-out before some exception replies (to let a line
    // settle); that would stall the controller for half a second. 0 is refused, so 1 us.
    modbus_set_response_timeout(Modbus_, 0, 1);

    Mapping_->tab_input_registers[vantor::kErrorRegister] = 0;
    Mapping_->tab_input_registers[vantor::kFreqChannelRegister] = kFreqChannel;
    for (int input = 1; input <= vantor::kInputCount; ++input) {
        const InputSettings settings = Probes::InitialSettings(input, config.PlantBase);
        std::uint16_t* block = &Holding(vantor::SettingsBlockFirst(input));
        block[0] = settings.Enabled ? 1 : 0;
        block[1] = settings.PlantNumber;
        block[2] = settings.IntervalMinutes;
        block[3] = static_cast<std::uint16_t>(settings.SetPoint);
    }
    Holding(vantor::kDevicePlantNumberRegister) = config.PlantNumber;
    Holding(vantor::kModbusBaudRegister) = BaudIndex(config.Baud);
    Holding(vantor::kModbusParityRegister) = ParityIndex(config.Parity);
}

Controller::~Controller()
{
    Release();
}

void Controller::Release()
{
    for (int& fd : Capture_)
        if (fd >= 0)
            close(std::exchange(fd, -1));
    if (Mapping_)
        modbus_mapping_free(std::exchange(Mapping_, nullptr));
    if (Modbus_)
        modbus_free(std::exchange(Modbus_, nullptr));
}

Controller::Reply Controller::Handle(const Bytes& frame)
{
    // New radio messages come in every few seconds: a read repeated sooner finds the same ones, as
    // a master that proves an answer by asking again needs; one repeated in a loop sees them change.
    const auto now = stop_signal::Clock::now();
    const bool again = frame == LastRequest_ && now - Refreshed_ < std::chrono::seconds(2);
    LastRequest_ = frame;
    if (!again)
        Refreshed_ = now;
    if (frame.size() < 4)
        return {std::nullopt, "not a frame: too short or too long"};
    if (!HasValidCrc(frame))
        return {std::nullopt, "CRC error"};
    const bool broadcast = frame[0] == 0;
    if (!broadcast && frame[0] != Address_)
        return {std::nullopt, "for address " + std::to_string(frame[0])};
    if (InLoadingMode())
        return {std::nullopt, "loading mode"};
    if (broadcast && frame[1] != 0x10)
        return {std::nullopt, "broadcast: only writes are carried out"};
    if (ForcedException_ != 0 && ++Requests_ >= ExceptionFrom_)
        return Exception(frame, ForcedException_, "forced");

    switch (frame[1]) {
    case 0x03:
    case 0x04: return HandleRead(frame, again);
    case 0x10: return HandleWrite(frame);
    case 0x2B: return HandleIdentification(frame);
    default: return Exception(frame, kIllegalFunction, "unknown function");
    }
}

Controller::Reply Controller::HandleRead(const Bytes& frame, bool again)
{
    if (frame.size() != 8)
        return Exception(frame, kIllegalValue, "malformed read");
    // A controller keeps its probes' last radio messages: the same read asked again soon gets the
    // same answer.
    if (frame[1] == 0x04 && !again)
        RefreshInputs(WordAt(frame, 2), WordAt(frame, 4));
    return LibmodbusReply(frame, "read");
}

Controller::Reply Controller::HandleWrite(const Bytes& frame)
{
    // Address, 0x10, first (2), count (2), byte count, values, CRC (2).
    const std::size_t count = frame.size() >= 9 ? WordAt(frame, 4) : 0;
    if (count < 1 || count > MODBUS_MAX_WRITE_REGISTERS || frame[6] != 2 * count || frame.size() != 9 + 2 * count)
        return Exception(frame, kIllegalValue, "malformed write");
    const int first = WordAt(frame, 2);
    const int last = first + static_cast<int>(count) - 1;
    std::vector<std::uint16_t> values;
    for (std::size_t i = 0; i < count; ++i)
        values.push_back(WordAt(frame, 7 + 2 * i));
    auto authorised = [&] {
        return values[0] == vantor::AuthorisationWord() && values[1] == Holding(vantor::kDevicePlantNumberRegister);
    };

    if ((first == vantor::kSystemBlock || first == vantor::kLoadingBlock) && count == 3) {
        const bool loading = first == vantor::kLoadingBlock;
        if (!authorised())
            return Exception(frame, kIllegalValue, "wrong authorisation word or plant number");
        if (loading ? values[2] != vantor::kLoadingModeCode : values[2] < 1 || values[2] > 247)
            return Exception(frame, kIllegalValue, loading ? "wrong loading-mode code" : "address out of range");
        Reply reply = LibmodbusReply(frame, loading ? "loading mode from now" : "new address");
        // Both blocks are commands, not storage: they read back as zero.
        std::fill_n(&Holding(static_cast<std::uint16_t>(first)), 3, std::uint16_t{0});
        if (loading) {
            LoadingUntil_ = LoadingMs_ == 0 ? stop_signal::Clock::time_point::max()
                                            : stop_signal::Clock::now() + std::chrono::milliseconds(LoadingMs_);
        } else {
            Address_ = static_cast<std::uint8_t>(values[2]);
            modbus_set_slave(Modbus_, Address_);
        }
        return reply;
    }
    if (first == vantor::kServiceRangeRegister && count == 1) {
        if (values[0] != vantor::kServiceAccessCode && values[0] != 0)
            return Exception(frame, kIllegalValue, "wrong service access code");
        ServiceOpen_ = values[0] != 0;
        return LibmodbusReply(frame, ServiceOpen_ ? "service range open" : "service range closed");
    }
    if (first >= vantor::kDevicePlantNumberRegister && last <= vantor::kModbusParityRegister) {
        if (!ServiceOpen_)
            return Exception(frame, kIllegalAddress, "service range closed");
        for (int reg = first; reg <= last; ++reg) {
            const std::uint16_t value = values[static_cast<std::size_t>(reg - first)];
            if ((reg == vantor::kModbusBaudRegister && value >= kBaudCount) ||
                (reg == vantor::kModbusParityRegister && value >= kParityCount))
                return Exception(frame, kIllegalValue, "no such link parameter");
        }
        return LibmodbusReply(frame, "service registers");
    }
    const int settingsFirst = vantor::SettingsBlockFirst(1);
    const int settingsLast = vantor::SettingsBlockFirst(vantor::kInputCount) + vantor::kSettingsBlockSize - 1;
    if (first >= settingsFirst && last <= settingsLast)
        return LibmodbusReply(frame, "input settings");
    return Exception(frame, kIllegalAddress, "not writable");
}

Controller::Reply Controller::HandleIdentification(const Bytes& frame)
{
    const identification::Outcome outcome = identification::Answer(frame, Holding(vantor::kDevicePlantNumberRegister));
    if (const auto* code = std::get_if<std::uint8_t>(&outcome))
        return Exception(frame, *code, "bad identification request");
    return {std::get<Bytes>(outcome), "identification"};
}

Controller::Reply Controller::LibmodbusReply(const Bytes& frame, std::string note)
{
    // libmodbus reads a request in place; give it a full-sized, zeroed buffer.
    std::uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH] = {};
    std::copy(frame.begin(), frame.end(), request);
    const int length = modbus_reply(Modbus_, request, static_cast<int>(frame.size()), Mapping_);
    // libmodbus answers a write it carried out with its echo, a broadcast one with nothing.
    const bool write = frame[1] == 0x10;
    if (length <= 0)
        return {std::nullopt, std::move(note) + ", no reply", write && length == 0};
    Bytes answer(static_cast<std::size_t>(length));
    std::size_t got = 0;
    while (got < answer.size()) {
        const ssize_t n = read(Capture_[0], answer.data() + got, answer.size() - got);
        if (n <= 0)
            return {std::nullopt, std::move(note) + ", reply lost"};
        got += static_cast<std::size_t>(n);
    }
    const bool carried = write && answer.size() > 1 && answer[1] == 0x10;
    return {std::move(answer), std::move(note), carried};
}

Controller::Reply Controller::Exception(const Bytes& frame, std::uint8_t code, std::string note)
{
    if (frame[0] == 0)
        return {std::nullopt, std::move(note) + ", broadcast: no exception"};
    Bytes answer = {frame[0], static_cast<std::uint8_t>(frame[1] | 0x80), code};
    AppendCrc(answer);
    return {std::move(answer), std::move(note) + ", exception " + std::to_string(code)};
}

bool Controller::InLoadingMode()
{
    if (!LoadingUntil_)
        return false;
    if (stop_signal::Clock::now() < *LoadingUntil_)
        return true;
    // Back from loading as from a restart: the service range is closed again.
    LoadingUntil_.reset();
    ServiceOpen_ = false;
    Holding(vantor::kServiceRangeRegister) = 0;
    return false;
}

void Controller::RefreshInputs(std::uint16_t first, std::uint16_t count)
{
    const int end = first + count;
    if (count < 1 || count > MODBUS_MAX_READ_REGISTERS || end > kInputRegisters)
        return;  // libmodbus answers with an exception
    for (int input = 1; input <= vantor::kInputCount; ++input) {
        const int blockFirst = vantor::InputBlockFirst(input);
        if (blockFirst + vantor::kInputBlockSize <= first || blockFirst >= end)
            continue;
        const auto block = Probes_.Read(input, SettingsOf(input));
        std::copy(block.begin(), block.end(), Mapping_->tab_input_registers + blockFirst);
    }
}

InputSettings Controller::SettingsOf(int input) const
{
    const std::uint16_t* block = Mapping_->tab_registers + vantor::SettingsBlockFirst(input);
    return {(block[0] & 0xFF) != 0, block[1], block[2], static_cast<std::int16_t>(block[3])};
}
