#pragma once

#include "transport/ComTypes.h"

#include <cstdint>

class TCustomComPort;

// The port's settings groups. Each setter that changes a value stores it and asks the port to
// apply its group; the port does so only while it is open and applying is not suspended. Assign
// copies every field and applies the group once.

class TComBuffer
{
public:
    explicit TComBuffer(TCustomComPort& port) : Port_(port) {}
    TComBuffer(const TComBuffer&) = delete;
    TComBuffer& operator=(const TComBuffer&) = delete;

    void Assign(const TComBuffer& source);

    int InputSize() const { return InputSize_; }
    int OutputSize() const { return OutputSize_; }
    // A positive odd size is lowered to the even size below it.
    void SetInputSize(int size);
    void SetOutputSize(int size);

private:
    TCustomComPort& Port_;
    int InputSize_ = 1024;
    int OutputSize_ = 1024;
};

class TComParity
{
public:
    explicit TComParity(TCustomComPort& port) : Port_(port) {}
    TComParity(const TComParity&) = delete;
    TComParity& operator=(const TComParity&) = delete;

    void Assign(const TComParity& source);

    TParityBits Bits() const { return Bits_; }
    bool Check() const { return Check_; }
    bool Replace() const { return Replace_; }
    std::uint8_t ReplaceChar() const { return ReplaceChar_; }
    void SetBits(TParityBits bits);
    void SetCheck(bool check);
    void SetReplace(bool replace);
    void SetReplaceChar(std::uint8_t replaceChar);

private:
    TCustomComPort& Port_;
    TParityBits Bits_ = prNone;
    bool Check_ = false;
    bool Replace_ = false;
    std::uint8_t ReplaceChar_ = 0;
};

// Milliseconds, or milliseconds per byte; -1 stands for the largest value, 0xFFFFFFFF.
class TComTimeouts
{
public:
    explicit TComTimeouts(TCustomComPort& port) : Port_(port) {}
    TComTimeouts(const TComTimeouts&) = delete;
    TComTimeouts& operator=(const TComTimeouts&) = delete;

    void Assign(const TComTimeouts& source);

    std::int32_t ReadInterval() const { return ReadInterval_; }
    std::int32_t ReadTotalMultiplier() const { return ReadTotalMultiplier_; }
    std::int32_t ReadTotalConstant() const { return ReadTotalConstant_; }
    std::int32_t WriteTotalMultiplier() const { return WriteTotalMultiplier_; }
    std::int32_t WriteTotalConstant() const { return WriteTotalConstant_; }
    void SetReadInterval(std::int32_t value);
    void SetReadTotalMultiplier(std::int32_t value);
    void SetReadTotalConstant(std::int32_t value);
    void SetWriteTotalMultiplier(std::int32_t value);
    void SetWriteTotalConstant(std::int32_t value);

private:
    void Set(std::int32_t& field, std::int32_t value);

    TCustomComPort& Port_;
    // In the order the driver takes them.
    std::int32_t ReadInterval_ = -1;
    std::int32_t ReadTotalMultiplier_ = 0;
    std::int32_t ReadTotalConstant_ = 0;
    std::int32_t WriteTotalMultiplier_ = 100;
    std::int32_t WriteTotalConstant_ = 1000;
};

class TComFlowControl
{
public:
    explicit TComFlowControl(TCustomComPort& port) : Port_(port) {}
    TComFlowControl(const TComFlowControl&) = delete;
    TComFlowControl& operator=(const TComFlowControl&) = delete;

    void Assign(const TComFlowControl& source);

    bool OutCTSFlow() const { return OutCTSFlow_; }
    bool OutDSRFlow() const { return OutDSRFlow_; }
    TDTRFlowControl ControlDTR() const { return ControlDTR_; }
    TRTSFlowControl ControlRTS() const { return ControlRTS_; }
    bool XonXoffOut() const { return XonXoffOut_; }
    bool XonXoffIn() const { return XonXoffIn_; }
    bool DSRSensitivity() const { return DSRSensitivity_; }
    bool TxContinueOnXoff() const { return TxContinueOnXoff_; }
    std::uint8_t XonChar() const { return XonChar_; }
    std::uint8_t XoffChar() const { return XoffChar_; }
    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(std::uint8_t value);
    void SetXoffChar(std::uint8_t value);

    // The preset the switches amount to; ControlDTR, OutDSRFlow, DSRSensitivity and
    // TxContinueOnXoff play no part in it.
    TFlowControl FlowControl() const;
    // Any preset but fcCustom resets the RTS, CTS and XON/XOFF switches before setting its own;
    // fcCustom keeps every switch. The line settings are applied in every case.
    void SetFlowControl(TFlowControl flow);

private:
    template <typename T>
    void Set(T& field, T value);

    TCustomComPort& Port_;
    bool OutCTSFlow_ = false;
    bool OutDSRFlow_ = false;
    TDTRFlowControl ControlDTR_ = dtrDisable;
    TRTSFlowControl ControlRTS_ = rtsDisable;
    bool XonXoffOut_ = false;
    bool XonXoffIn_ = false;
    bool DSRSensitivity_ = false;
    bool TxContinueOnXoff_ = false;
    std::uint8_t XonChar_ = 17;
    std::uint8_t XoffChar_ = 19;
};
