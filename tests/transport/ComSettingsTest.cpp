#include "transport/ComPort.h"
#include "transport/DeviceControlBlock.h"
#include "transport/SerialLine.h"

#include <gtest/gtest.h>

TEST(ComTexts, ParsingIgnoresCaseAndFallsBack)
{
    EXPECT_EQ(ParseBaudRate(QStringLiteral("custom")), brCustom);
    EXPECT_EQ(ParseBaudRate(QStringLiteral("115200")), br115200);
    EXPECT_EQ(ParseBaudRate(QString()), br9600);
    EXPECT_EQ(ParseBaudRate(QStringLiteral("9601")), br9600);
    EXPECT_EQ(ParseStopBits(QStringLiteral("1.5")), sbOne5StopBits);
    EXPECT_EQ(ParseStopBits(QStringLiteral("1,5")), sbOneStopBit);
    EXPECT_EQ(ParseDataBits(QStringLiteral("7")), dbSeven);
    EXPECT_EQ(ParseDataBits(QStringLiteral("9")), dbEight);
    EXPECT_EQ(ParseParity(QStringLiteral("sPaCe")), prSpace);
    EXPECT_EQ(ParseParity(QStringLiteral("Evn")), prNone);
    EXPECT_EQ(ParseFlowControl(QStringLiteral("HARDWARE")), fcHardware);
    EXPECT_EQ(ParseFlowControl(QString()), fcCustom);
}

TEST(ComTexts, EveryMemberSurvivesItsText)
{
    for (int i = brCustom; i <= br256000; ++i)
        EXPECT_EQ(ParseBaudRate(BaudRateText(TBaudRate(i))), i);
    for (int i = sbOneStopBit; i <= sbTwoStopBits; ++i)
        EXPECT_EQ(ParseStopBits(StopBitsText(TStopBits(i))), i);
    for (int i = dbFive; i <= dbEight; ++i)
        EXPECT_EQ(ParseDataBits(DataBitsText(TDataBits(i))), i);
    for (int i = prNone; i <= prSpace; ++i)
        EXPECT_EQ(ParseParity(ParityText(TParityBits(i))), i);
    for (int i = fcHardware; i <= fcCustom; ++i)
        EXPECT_EQ(ParseFlowControl(FlowControlText(TFlowControl(i))), i);
    EXPECT_EQ(BaudRateValue(br256000), 256000u);
}

TEST(ComTexts, EventMasks)
{
    EXPECT_EQ(EventsToMask(kAllComEvents), 0x5FFu);
    EXPECT_EQ(EventsToMask({evTxEmpty, evRing}), 0x104u);
    EXPECT_EQ(MaskToEvents(0x5FF), kAllComEvents);
    EXPECT_EQ(MaskToEvents(0x200), TComEvents());  // the printer-error bit is never used
    for (std::uint32_t bit = 1; bit <= 0x400; bit <<= 1) {
        if (bit != 0x200) {
            EXPECT_EQ(EventsToMask(MaskToEvents(bit)), bit);
        }
    }
}

TEST(ComPortNames, MapOntoDevices)
{
    EXPECT_EQ(PortDevicePath(QStringLiteral("COM1")), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(PortDevicePath(QStringLiteral("com12")), QStringLiteral("/dev/ttyS11"));
    EXPECT_EQ(PortDevicePath(QStringLiteral("/dev/pts/3")), QStringLiteral("/dev/pts/3"));
    EXPECT_EQ(PortDevicePath(QStringLiteral("ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(PortDevicePath(QStringLiteral("COM0")), QStringLiteral("/dev/COM0"));
    EXPECT_EQ(PortDevicePath(QStringLiteral("COM+2")), QStringLiteral("/dev/COM+2"));
    EXPECT_EQ(PortDevicePath(QStringLiteral("COM")), QStringLiteral("/dev/COM"));
}

TEST(ComFlowControl, PresetsReadAndWrite)
{
    TComPort port;
    TComFlowControl& flow = port.FlowControl();
    EXPECT_EQ(flow.FlowControl(), fcNone);
    flow.SetFlowControl(fcHardware);
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow());
    flow.SetControlDTR(dtrEnable);  // DTR plays no part in the preset
    EXPECT_EQ(flow.FlowControl(), fcHardware);
    flow.SetFlowControl(fcSoftware);
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_FALSE(flow.OutCTSFlow());
    EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
    EXPECT_EQ(flow.FlowControl(), fcSoftware);
    flow.SetXonXoffIn(false);
    EXPECT_EQ(flow.FlowControl(), fcCustom);
    flow.SetFlowControl(fcCustom);  // keeps every switch
    EXPECT_TRUE(flow.XonXoffOut());
    EXPECT_FALSE(flow.XonXoffIn());
    flow.SetFlowControl(fcNone);
    EXPECT_EQ(flow.FlowControl(), fcNone);
    EXPECT_EQ(flow.ControlDTR(), dtrEnable);
}

TEST(ComBuffer, OddSizesAreLowered)
{
    TComPort port;
    port.Buffer().SetInputSize(1025);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    port.Buffer().SetOutputSize(1);
    EXPECT_EQ(port.Buffer().OutputSize(), 0);
    port.Buffer().SetOutputSize(-3);
    EXPECT_EQ(port.Buffer().OutputSize(), -3);
}

TEST(DeviceControlBlock, Defaults)
{
    TComPort port;
    const TDeviceControlBlock dcb = MakeDeviceControlBlock(port);
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.Flags, TDeviceControlBlock::fBinary);
    EXPECT_EQ(dcb.XonLim, 256);
    EXPECT_EQ(dcb.XoffLim, 256);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EofChar, 0);
}

TEST(DeviceControlBlock, FieldsFollowTheSettings)
{
    TComPort port;
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(250000);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.SetDiscardNull(true);
    port.SetEventChar('\n');
    port.Parity().SetBits(prMark);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar('?');
    port.Buffer().SetInputSize(4001);
    port.FlowControl().SetFlowControl(fcHardware);
    port.FlowControl().SetControlDTR(dtrHandshake);
    port.FlowControl().SetTxContinueOnXoff(true);

    TDeviceControlBlock dcb = MakeDeviceControlBlock(port);
    EXPECT_EQ(dcb.BaudRate, 250000u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, 3);
    EXPECT_EQ(dcb.StopBits, 2);
    EXPECT_EQ(dcb.XonLim, 1000);
    EXPECT_EQ(dcb.EvtChar, '\n');
    // Replacement without checking is off, and so is its character.
    EXPECT_EQ(dcb.Flags, 0x1u | 0x800 | 0x4 | 0x20 | 0x2000 | 0x80);
    EXPECT_EQ(dcb.ErrorChar, 0);

    port.Parity().SetCheck(true);
    dcb = MakeDeviceControlBlock(port);
    EXPECT_EQ(dcb.Flags & 0x402u, 0x402u);
    EXPECT_EQ(dcb.ErrorChar, '?');
    port.SetBaudRate(br56000);  // the custom rate is used only with brCustom
    EXPECT_EQ(MakeDeviceControlBlock(port).BaudRate, 56000u);
}
