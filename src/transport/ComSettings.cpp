#include "transport/ComSettings.h"

#include "transport/ComPort.h"

namespace {

// Stores a changed value; true when there was a change to apply.
template <typename T>
bool Store(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

int EvenSize(int size)
{
    return size > 0 && size % 2 != 0 ? size - 1 : size;
}

}  // namespace

void TComBuffer::Assign(const TComBuffer& source)
{
    InputSize_ = source.InputSize_;
    OutputSize_ = source.OutputSize_;
    Port_.ApplyBufferSizes();
}

void TComBuffer::SetInputSize(int size)
{
    if (Store(InputSize_, EvenSize(size)))
        Port_.ApplyBufferSizes();
}

void TComBuffer::SetOutputSize(int size)
{
    if (Store(OutputSize_, EvenSize(size)))
        Port_.ApplyBufferSizes();
}

void TComParity::Assign(const TComParity& source)
{
    Bits_ = source.Bits_;
    Check_ = source.Check_;
    Replace_ = source.Replace_;
    ReplaceChar_ = source.ReplaceChar_;
    Port_.ApplyLineSettings();
}

void TComParity::SetBits(TParityBits bits)
{
    if (Store(Bits_, bits))
        Port_.ApplyLineSettings();
}

void TComParity::SetCheck(bool check)
{
    if (Store(Check_, check))
        Port_.ApplyLineSettings();
}

void TComParity::SetReplace(bool replace)
{
    if (Store(Replace_, replace))
        Port_.ApplyLineSettings();
}

void TComParity::SetReplaceChar(std::uint8_t replaceChar)
{
    if (Store(ReplaceChar_, replaceChar))
        Port_.ApplyLineSettings();
}

void TComTimeouts::Assign(const TComTimeouts& source)
{
    ReadInterval_ = source.ReadInterval_;
    ReadTotalMultiplier_ = source.ReadTotalMultiplier_;
    ReadTotalConstant_ = source.ReadTotalConstant_;
    WriteTotalMultiplier_ = source.WriteTotalMultiplier_;
    WriteTotalConstant_ = source.WriteTotalConstant_;
    Port_.ApplyTimeoutSettings();
}

void TComTimeouts::Set(std::int32_t& field, std::int32_t value)
{
    if (Store(field, value))
        Port_.ApplyTimeoutSettings();
}

void TComTimeouts::SetReadInterval(std::int32_t value)
{
    Set(ReadInterval_, value);
}

void TComTimeouts::SetReadTotalMultiplier(std::int32_t value)
{
    Set(ReadTotalMultiplier_, value);
}

void TComTimeouts::SetReadTotalConstant(std::int32_t value)
{
    Set(ReadTotalConstant_, value);
}

void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value)
{
    Set(WriteTotalMultiplier_, value);
}

void TComTimeouts::SetWriteTotalConstant(std::int32_t value)
{
    Set(WriteTotalConstant_, value);
}

void TComFlowControl::Assign(const TComFlowControl& source)
{
    OutCTSFlow_ = source.OutCTSFlow_;
    OutDSRFlow_ = source.OutDSRFlow_;
    ControlDTR_ = source.ControlDTR_;
    ControlRTS_ = source.ControlRTS_;
    XonXoffOut_ = source.XonXoffOut_;
    XonXoffIn_ = source.XonXoffIn_;
    DSRSensitivity_ = source.DSRSensitivity_;
    TxContinueOnXoff_ = source.TxContinueOnXoff_;
    XonChar_ = source.XonChar_;
    XoffChar_ = source.XoffChar_;
    Port_.ApplyLineSettings();
}

template <typename T>
void TComFlowControl::Set(T& field, T value)
{
    if (Store(field, value))
        Port_.ApplyLineSettings();
}

void TComFlowControl::SetOutCTSFlow(bool value) { Set(OutCTSFlow_, value); }
void TComFlowControl::SetOutDSRFlow(bool value) { Set(OutDSRFlow_, value); }
void TComFlowControl::SetControlDTR(TDTRFlowControl value) { Set(ControlDTR_, value); }
void TComFlowControl::SetControlRTS(TRTSFlowControl value) { Set(ControlRTS_, value); }
void TComFlowControl::SetXonXoffOut(bool value) { Set(XonXoffOut_, value); }
void TComFlowControl::SetXonXoffIn(bool value) { Set(XonXoffIn_, value); }
void TComFlowControl::SetDSRSensitivity(bool value) { Set(DSRSensitivity_, value); }
void TComFlowControl::SetTxContinueOnXoff(bool value) { Set(TxContinueOnXoff_, value); }
void TComFlowControl::SetXonChar(std::uint8_t value) { Set(XonChar_, value); }
void TComFlowControl::SetXoffChar(std::uint8_t value) { Set(XoffChar_, value); }

TFlowControl TComFlowControl::FlowControl() const
{
    if (ControlRTS_ == rtsHandshake && OutCTSFlow_ && !XonXoffIn_ && !XonXoffOut_)
        return fcHardware;
    if (ControlRTS_ == rtsDisable && !OutCTSFlow_ && XonXoffIn_ && XonXoffOut_)
        return fcSoftware;
    if (ControlRTS_ == rtsDisable && !OutCTSFlow_ && !XonXoffIn_ && !XonXoffOut_)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl flow)
{
    if (flow != fcCustom) {
        ControlRTS_ = rtsDisable;
        OutCTSFlow_ = false;
        XonXoffIn_ = false;
        XonXoffOut_ = false;
    }
    if (flow == fcHardware) {
        ControlRTS_ = rtsHandshake;
        OutCTSFlow_ = true;
    } else if (flow == fcSoftware) {
        XonXoffIn_ = true;
        XonXoffOut_ = true;
    }
    Port_.ApplyLineSettings();
}
