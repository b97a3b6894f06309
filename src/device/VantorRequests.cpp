#include "device/CommandTable.h"
#include "device/Frames.h"
#include "device/Vantor.h"

#include <algorithm>
#include <cmath>

using namespace vantor;

namespace {

// 1/16 degree steps, halves to even: 20.03125 gives 320, -0.5 gives -8 (0xFFF8). A number beyond
// the register is held at its limit rather than wrapped into a set-point of the other sign.
std::int16_t SetPointSteps(double degrees)
{
    const double steps = std::nearbyint(degrees * 16);
    if (std::isnan(steps))
        return 0;
    return static_cast<std::int16_t>(std::clamp(steps, -32768.0, 32767.0));
}

}  // namespace

QByteArray TVantor::BuildReadRequest(int command) const
{
    return BuildReadRequest(command, CurrentInput);
}

QByteArray TVantor::BuildReadRequest(int command, int c) const
{
    switch (command) {
    case cmdGeneralInfo:
        return BuildReadFrame(SystemAddress_, 0x04, kErrorRegister, 2);
    case cmdReadInputs:
        return BuildReadFrame(SystemAddress_, 0x04, InputBlockFirst(c), kGroupSize * kInputBlockSize);
    case cmdReadSettings:
        return BuildReadFrame(SystemAddress_, 0x03, SettingsBlockFirst(c), kGroupSize * kSettingsBlockSize);
    case cmdReadModbus:
        return BuildReadFrame(SystemAddress_, 0x03, kModbusBaudRegister, 2);
    default:
        return {};
    }
}

QByteArray TVantor::BuildServiceRequest(int command) const
{
    switch (command) {
    case cmdLoadingMode:
        return BuildWriteFrame(SystemAddress_, kLoadingBlock, {AuthorisationWord(), WrDevicePlantNumber, kLoadingModeCode});
    case cmdOpenService:
        return BuildWriteFrame(SystemAddress_, kServiceRangeRegister, {kServiceAccessCode});
    case cmdCloseService:
        return BuildWriteFrame(SystemAddress_, kServiceRangeRegister, {0});
    default:
        return {};
    }
}

QByteArray TVantor::BuildWriteRequest(int command) const
{
    switch (command) {
    case cmdWriteInput: {
        const auto bound = static_cast<std::uint16_t>(SetPointSteps(WrBound));
        return BuildWriteFrame(SystemAddress_, SettingsBlockFirst(CurrentInput),
                               {WrEnabled, WrPlantNumber, static_cast<std::uint16_t>(WrInterval), bound});
    }
    case cmdWriteModbus:
        return BuildWriteFrame(SystemAddress_, kModbusBaudRegister, {WrBaud, WrParity});
    case cmdWriteAddress:
        return BuildWriteFrame(SystemAddress_, kSystemBlock, {AuthorisationWord(), WrDevicePlantNumber, WrSystemAddress});
    case cmdWritePlantNumber:
        return BuildWriteFrame(SystemAddress_, kDevicePlantNumberRegister, {WrDevicePlantNumber});
    default:
        return {};
    }
}

QByteArray TVantor::BuildSignatureRequest(int command) const
{
    switch (command) {
    case cmdSignature1:
        return BuildIdentificationFrame(SystemAddress_, 1, 0x00);
    case cmdSignature2:
        return BuildIdentificationFrame(SystemAddress_, 2, 0x03);
    case cmdSignature3:
        return BuildIdentificationFrame(SystemAddress_, 3, 0x80);
    default:
        return {};
    }
}

QByteArray TVantor::BuildRequest(int command) const
{
    if (command >= cmdLoadingMode && command <= cmdCloseService)
        return BuildServiceRequest(command);
    if (command >= cmdWriteInput && command <= cmdWritePlantNumber)
        return BuildWriteRequest(command);
    if (command >= cmdSignature1 && command <= cmdSignature3)
        return BuildSignatureRequest(command);
    return BuildReadRequest(command);
}
