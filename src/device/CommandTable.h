#pragma once

#include "device/DeviceStates.h"

#include <QMutex>

#include <array>
#include <cstdint>

// The fourteen commands of the controller, numbered 0..13.
enum TCommandNumber : std::uint8_t {
    cmdGeneralInfo,       // 0x04, error code and frequency channel
    cmdReadInputs,        // 0x04, readings of four inputs
    cmdReadSettings,      // 0x03, settings of four inputs
    cmdReadModbus,        // 0x03, Modbus link parameters
    cmdLoadingMode,       // 0x10, firmware loading
    cmdOpenService,       // 0x10, service range
    cmdCloseService,      // 0x10
    cmdWriteInput,        // 0x10, settings of one input
    cmdWriteModbus,       // 0x10
    cmdWriteAddress,      // 0x10, system address
    cmdWritePlantNumber,  // 0x10, controller plant number
    cmdSignature1,        // 0x2B
    cmdSignature2,
    cmdSignature3,
};
constexpr int kCommandCount = 14;

// The command table shared by the request thread, which renames commands 1 and 2 before each
// cycle, and the UI thread, which renames command 7 and reads every name: entries are handed out
// as copies under a lock.
class TCommandTable
{
public:
    TCommandTable();

    // A copy of row command; an empty row for a number outside 0..13.
    TCommandParams Params(int command) const;
    QString Name(int command) const { return Params(command).Name; }
    std::uint8_t AnswerLength(int command) const { return Params(command).AnswerLength; }
    void SetName(int command, const QString& name);

    // Names commands 1 and 2 after the group that starts at first.
    void NameGroup(int first);

private:
    mutable QMutex Guard_;
    std::array<TCommandParams, kCommandCount> Rows_;
};

// The process-wide table.
TCommandTable& CommandTable();
