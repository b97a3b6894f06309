#include "transport/DeviceControlBlock.h"

#include "transport/ComPort.h"

namespace {

constexpr std::uint32_t kDtrBits[] = {0x00, TDeviceControlBlock::fDtrEnable, TDeviceControlBlock::fDtrHandshake};
constexpr std::uint32_t kRtsBits[] = {
    0x0000, TDeviceControlBlock::fRtsEnable, TDeviceControlBlock::fRtsHandshake, TDeviceControlBlock::fRtsToggle,
};

}  // namespace

TDeviceControlBlock MakeDeviceControlBlock(const TCustomComPort& port)
{
    using D = TDeviceControlBlock;
    const TComFlowControl& flow = port.FlowControl();
    const TComParity& parity = port.Parity();

    D dcb;
    dcb.BaudRate = port.BaudRate() == brCustom ? static_cast<std::uint32_t>(port.CustomBaudRate())
                                               : BaudRateValue(port.BaudRate());
    dcb.Flags = D::fBinary;
    if (port.DiscardNull())
        dcb.Flags |= D::fNull;
    if (flow.OutCTSFlow())
        dcb.Flags |= D::fOutxCtsFlow;
    if (flow.OutDSRFlow())
        dcb.Flags |= D::fOutxDsrFlow;
    dcb.Flags |= kDtrBits[flow.ControlDTR()] | kRtsBits[flow.ControlRTS()];
    if (flow.XonXoffOut())
        dcb.Flags |= D::fOutX;
    if (flow.XonXoffIn())
        dcb.Flags |= D::fInX;
    if (flow.DSRSensitivity())
        dcb.Flags |= D::fDsrSensitivity;
    if (flow.TxContinueOnXoff())
        dcb.Flags |= D::fTXContinueOnXoff;
    const bool replace = parity.Check() && parity.Replace();
    if (parity.Check())
        dcb.Flags |= D::fParity;
    if (replace)
        dcb.Flags |= D::fErrorChar;
    // 256 each with the default 1024-byte input queue.
    const int limit = port.Buffer().InputSize() / 4;
    dcb.XonLim = static_cast<std::uint16_t>(limit);
    dcb.XoffLim = static_cast<std::uint16_t>(limit);
    dcb.ByteSize = static_cast<std::uint8_t>(5 + port.DataBits());
    dcb.Parity = parity.Bits();
    dcb.StopBits = port.StopBits();
    dcb.XonChar = static_cast<char>(flow.XonChar());
    dcb.XoffChar = static_cast<char>(flow.XoffChar());
    dcb.ErrorChar = replace ? static_cast<char>(parity.ReplaceChar()) : 0;
    dcb.EvtChar = static_cast<char>(port.EventChar());
    return dcb;
}
