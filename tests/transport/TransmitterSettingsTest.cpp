#include "transport/EComPort.h"
#include "transport/Transmitter.h"

#include "common/OperatorMessage.h"

#include "PtyPeer.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

namespace {

const char kDefaultFile[] =
    "[Transmitter]\r\nPort=COM1\r\nBaudRate=9600\r\nDataBits=8\r\nStopBits=1\r\nParity=Even\r\n"
    "FlowControl=None\r\nReadInterval=50\r\nReadTotalConstant=150\r\nReadTotalMultiplier=2\r\n"
    "WriteTotalConstant=100\r\nWriteTotalMultiplier=2\r\n";

const QString kIni = QStringLiteral("INI/ComPort.ini");

struct TShown
{
    QString Caption;
    QString Text;
    TMessageIcon Icon = TMessageIcon::Information;
    int Count = 0;
};

// Operator messages recorded instead of shown.
class MessageRecorder
{
public:
    MessageRecorder()
    {
        Previous_ = SetShowMessage([this](const QString& caption, const QString& text, TMessageIcon icon) {
            Shown = {caption, text, icon, Shown.Count + 1};
        });
    }
    ~MessageRecorder() { SetShowMessage(Previous_); }
    TShown Shown;

private:
    TShowMessage Previous_;
};

}  // namespace

TEST(TransmitterSettings, DefaultsAndTheirFile)
{
    TestFolder folder;
    TTransmitter port;
    EXPECT_EQ(port.Name(), QStringLiteral("Transmitter"));
    EXPECT_EQ(port.SettingsFile, folder.Path(kIni));
    EXPECT_FALSE(port.Connected());
    port.ReadSettings();  // no file: the defaults, even parity included
    EXPECT_FALSE(QFile::exists(folder.Path(kIni)));
    EXPECT_EQ(port.Parity().Bits(), prEven);
    EXPECT_EQ(port.Timeouts().ReadInterval(), 50);
    ASSERT_TRUE(port.WriteSettings());
    EXPECT_EQ(folder.Read(kIni), QByteArray(kDefaultFile));
}

TEST(TransmitterSettings, RoundTrip)
{
    TestFolder folder;
    {
        TTransmitter port;
        port.SetPort(QStringLiteral("ttyUSB0"));
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(31250);
        port.SetDataBits(dbSeven);
        port.SetStopBits(sbTwoStopBits);
        port.Parity().SetBits(prMark);
        port.FlowControl().SetFlowControl(fcHardware);
        port.Timeouts().SetReadInterval(-1);
        port.Timeouts().SetWriteTotalConstant(7);
        ASSERT_TRUE(port.WriteSettings());
    }
    EXPECT_TRUE(folder.Read(kIni).startsWith("[Transmitter]\r\nPort=ttyUSB0\r\nBaudRate=Custom\r\nCustomBaudRate=31250\r\n"
                                             "DataBits=7\r\n"));
    TTransmitter port;
    port.ReadSettings();
    EXPECT_EQ(port.Port(), QStringLiteral("ttyUSB0"));
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 31250);
    EXPECT_EQ(port.DataBits(), dbSeven);
    EXPECT_EQ(port.StopBits(), sbTwoStopBits);
    EXPECT_EQ(port.Parity().Bits(), prMark);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 7);
}

TEST(TransmitterSettings, HandEditedValuesFallBack)
{
    TestFolder folder;
    folder.Write(kIni, "; edited by hand\r\n[transmitter]\r\nPort=\r\nBaudRate=Custom\r\nParity=Evn\r\n"
                       "StopBits=3\r\nFlowControl=Custom\r\nReadInterval=fifty\r\n[Other]\r\nKey=1\r\n");
    TTransmitter port;
    port.FlowControl().SetXonXoffOut(true);
    // Missing or unreadable time-outs go back to the fixed defaults, not to the current values.
    port.Timeouts().SetReadInterval(7);
    port.Timeouts().SetReadTotalConstant(999);
    port.Timeouts().SetReadTotalMultiplier(9);
    port.Timeouts().SetWriteTotalConstant(888);
    port.Timeouts().SetWriteTotalMultiplier(8);
    port.ReadSettings();
    EXPECT_EQ(port.Port(), QString());
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(port.Parity().Bits(), prNone);  // not the transmitter's Even
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_TRUE(port.FlowControl().XonXoffOut());  // "Custom" keeps the switches
    EXPECT_EQ(port.Timeouts().ReadInterval(), 50);
    EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 150);
    EXPECT_EQ(port.Timeouts().ReadTotalMultiplier(), 2);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 100);
    EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 2);

    // Cancelling the setup dialog still rewrites the file, with the values just read; the
    // rest of the file stays.
    ASSERT_TRUE(port.WriteSettings());
    const QByteArray file = folder.Read(kIni);
    EXPECT_TRUE(file.startsWith("; edited by hand\r\n[transmitter]\r\nPort=\r\nBaudRate=Custom\r\n"));
    EXPECT_TRUE(file.contains("CustomBaudRate=9600\r\n"));
    EXPECT_TRUE(file.contains("FlowControl=Custom\r\n"));
    EXPECT_TRUE(file.endsWith("[Other]\r\nKey=1\r\n"));
}

TEST(TransmitterSettings, AFailedLoadIsNumberSeventeenAndResumesApplying)
{
    TestFolder folder;
    TPtyPeer peer;
    folder.Write(kIni, QByteArray("[Transmitter]\r\nPort=") + peer.SlavePath().toUtf8() + "\r\nStopBits=1.5\r\n");
    TTransmitter port;
    port.SetPort(peer.SlavePath());
    ASSERT_TRUE(port.ActivatePort());
    try {
        port.ReadSettings();
        ADD_FAILURE() << "the driver took 1.5 stop bits";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.ErrorNumber(), ecLoadSettings);
        EXPECT_EQ(error.SystemCode(), -1);
        EXPECT_EQ(error.Message(), QStringLiteral("Failed to load settings"));
    }
    port.SetStopBits(sbOneStopBit);
    try {
        port.SetStopBits(sbOne5StopBits);  // reaches the driver at once: applying resumed
        ADD_FAILURE() << "applying is still suspended";
    } catch (const EComPort& error) {
        EXPECT_EQ(error.ErrorNumber(), ecLineSettings);
    }
}

TEST(TransmitterSettings, AnUnwritableFileIsReportedAsFalse)
{
    TestFolder folder;
    folder.Write(QStringLiteral("INI"), "a file where the folder belongs");
    TTransmitter port;
    EXPECT_FALSE(port.WriteSettings());
}

TEST(TransmitterActivation, AFailedOpenTellsTheOperatorWhichPort)
{
    MessageRecorder messages;
    TTransmitter port;
    port.SetPort(QStringLiteral("orvela-no-such-port"));
    EXPECT_FALSE(port.ActivatePort());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(messages.Shown.Caption, QStringLiteral("Внимание"));
    // The first line as it always was; the reason follows on the next.
    EXPECT_TRUE(messages.Shown.Text.startsWith(
        QStringLiteral("Ошибка активации порта :orvela-no-such-port\nПорта orvela-no-such-port "
                       "(/dev/orvela-no-such-port) нет в системе.")))
        << messages.Shown.Text.toStdString();
    EXPECT_EQ(messages.Shown.Icon, TMessageIcon::Error);
    port.SetPort(QString());
    EXPECT_FALSE(port.ActivatePort());
    EXPECT_EQ(messages.Shown.Text, QStringLiteral("Ошибка активации порта :\nПорт не задан."));
    EXPECT_EQ(messages.Shown.Count, 2);
    EXPECT_TRUE(port.DeactivatePort());
}
