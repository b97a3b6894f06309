#include "transport/Transmitter.h"

#include "common/IniFile.h"
#include "common/OperatorMessage.h"
#include "common/ProgramFolder.h"
#include "transport/EComPort.h"
#include "transport/PortFailure.h"

#include <cmath>
#include <cstdint>

namespace {

// Time-outs of a file that lacks them: the system's, not the current ones.
constexpr int kReadInterval = 50;
constexpr int kReadTotalConstant = 150;
constexpr int kReadTotalMultiplier = 2;
constexpr int kWriteTotalConstant = 100;
constexpr int kWriteTotalMultiplier = 2;
constexpr int kCustomBaudRate = 9600;
// Limits of the numbers in the file. A read with both totals 0 would wait for ever on a silent
// line, so the constants start at 1; 100 ms a byte is 110 baud.
constexpr int kMaxTimeoutMs = 60000;
constexpr int kMaxMultiplier = 100;
constexpr int kMaxBaudRate = 4000000;

}  // namespace

TTransmitter::TTransmitter(QObject* owner)
    : TComPort(owner), SettingsFile(ProgramFolder() + QStringLiteral("INI/ComPort.ini"))
{
    SetName(QStringLiteral("Transmitter"));
    Parity().SetBits(prEven);
    Timeouts().SetReadInterval(kReadInterval);
    Timeouts().SetReadTotalConstant(kReadTotalConstant);
    Timeouts().SetReadTotalMultiplier(kReadTotalMultiplier);
    Timeouts().SetWriteTotalConstant(kWriteTotalConstant);
    Timeouts().SetWriteTotalMultiplier(kWriteTotalMultiplier);
}

void TTransmitter::ReadSettings()
{
    try {
        SuspendApply();
        try {
            ReadSection(TIniFile(SettingsFile));
        } catch (...) {
            ResumeApply();
            throw;
        }
        ResumeApply();
    } catch (...) {
        throw EComPort(ecLoadSettings);
    }
}

void TTransmitter::ReadSection(const TIniFile& ini)
{
    const QString section = Name();
    SetPort(ini.ReadString(section, QStringLiteral("Port"), Port()));
    SetBaudRate(ParseBaudRate(ini.ReadString(section, QStringLiteral("BaudRate"), BaudRateText(BaudRate()))));
    if (BaudRate() == brCustom)
        SetCustomBaudRate(ini.ReadInteger(section, QStringLiteral("CustomBaudRate"), kCustomBaudRate, 1, kMaxBaudRate));
    SetDataBits(ParseDataBits(ini.ReadString(section, QStringLiteral("DataBits"), DataBitsText(DataBits()))));
    SetStopBits(ParseStopBits(ini.ReadString(section, QStringLiteral("StopBits"), StopBitsText(StopBits()))));
    Parity().SetBits(ParseParity(ini.ReadString(section, QStringLiteral("Parity"), ParityText(Parity().Bits()))));
    FlowControl().SetFlowControl(ParseFlowControl(
        ini.ReadString(section, QStringLiteral("FlowControl"), FlowControlText(FlowControl().FlowControl()))));
    Timeouts().SetReadInterval(ini.ReadInteger(section, QStringLiteral("ReadInterval"), kReadInterval, -1, kMaxTimeoutMs));
    Timeouts().SetReadTotalConstant(ini.ReadInteger(section, QStringLiteral("ReadTotalConstant"), kReadTotalConstant, 1, kMaxTimeoutMs));
    Timeouts().SetReadTotalMultiplier(
        ini.ReadInteger(section, QStringLiteral("ReadTotalMultiplier"), kReadTotalMultiplier, 0, kMaxMultiplier));
    Timeouts().SetWriteTotalConstant(
        ini.ReadInteger(section, QStringLiteral("WriteTotalConstant"), kWriteTotalConstant, 1, kMaxTimeoutMs));
    Timeouts().SetWriteTotalMultiplier(
        ini.ReadInteger(section, QStringLiteral("WriteTotalMultiplier"), kWriteTotalMultiplier, 0, kMaxMultiplier));
}

bool TTransmitter::WriteSettings(QString* error)
{
    TIniFile ini(SettingsFile);
    WriteSection(ini);
    return ini.SaveTelling(error);
}

void TTransmitter::WriteSection(TIniFile& ini) const
{
    const QString section = Name();
    ini.WriteString(section, QStringLiteral("Port"), Port());
    ini.WriteString(section, QStringLiteral("BaudRate"), BaudRateText(BaudRate()));
    if (BaudRate() == brCustom)
        ini.WriteInteger(section, QStringLiteral("CustomBaudRate"), CustomBaudRate());
    ini.WriteString(section, QStringLiteral("DataBits"), DataBitsText(DataBits()));
    ini.WriteString(section, QStringLiteral("StopBits"), StopBitsText(StopBits()));
    ini.WriteString(section, QStringLiteral("Parity"), ParityText(Parity().Bits()));
    ini.WriteString(section, QStringLiteral("FlowControl"), FlowControlText(FlowControl().FlowControl()));
    ini.WriteInteger(section, QStringLiteral("ReadInterval"), Timeouts().ReadInterval());
    ini.WriteInteger(section, QStringLiteral("ReadTotalConstant"), Timeouts().ReadTotalConstant());
    ini.WriteInteger(section, QStringLiteral("ReadTotalMultiplier"), Timeouts().ReadTotalMultiplier());
    ini.WriteInteger(section, QStringLiteral("WriteTotalConstant"), Timeouts().WriteTotalConstant());
    ini.WriteInteger(section, QStringLiteral("WriteTotalMultiplier"), Timeouts().WriteTotalMultiplier());
}

bool TTransmitter::ActivatePort()
{
    QString reason;
    try {
        SetConnected(true);
        return true;
    } catch (const EComPort& failure) {
        // The system's error number says what the operator can do about it; the driver's own
        // message does not.
        if (failure.SystemCode() >= 0)
            reason = PortFailureReason(Port(), failure.SystemCode());
    } catch (...) {
        // A failure without a system error number: the first line alone.
    }
    const QString text = QStringLiteral("Ошибка активации порта :") + Port();
    ShowAlert(kCaptionWarning, reason.isEmpty() ? text : text + u'\n' + reason);
    return false;
}

bool TTransmitter::DeactivatePort()
{
    try {
        SetConnected(false);
        return true;
    } catch (...) {
        return false;
    }
}

void TTransmitter::Transact(const QByteArray& request, QByteArray& response, int count, int longestAnswer)
{
    try {
        // Late or surplus bytes of an earlier exchange go here.
        PurgeBuffers(true, true);
        WriteText(request);
        // The write returns once the request is queued, not sent: the read limit runs from
        // there, while the request still goes out.
        ReadText(response, count,
                 longestAnswer > 0 ? ReadFloor(static_cast<int>(request.size()), longestAnswer) : TReadFloor{});
        // A two-wire adapter hands the request back as it goes out: the adapter's, not an
        // answer. The answer, if any, follows it, or comes after a silence of its own.
        if (!request.isEmpty() && response.startsWith(request)) {
            response.remove(0, request.size());
            if (response.isEmpty())
                ReadText(response, count, longestAnswer > 0 ? ReadFloor(0, longestAnswer) : TReadFloor{});
        }
    } catch (...) {
        response.clear();
        return;
    }
    try {
        OnTransact(this, request, response);
    } catch (...) {
        // A subscriber's failure is not the exchange's.
    }
}

TReadFloor TTransmitter::ReadFloor(int requestBytes, int answerBytes) const
{
    const double baud = BaudRate() == brCustom ? CustomBaudRate() : BaudRateValue(BaudRate());
    if (baud <= 0)
        return {};
    // Start bit, data bits, parity, stop bits: 11 bits at 8E1, 1.15 ms a character at 9600.
    const double bits = 1 + (5 + static_cast<int>(DataBits())) + (Parity().Bits() == prNone ? 0 : 1)
                      + (StopBits() == sbOneStopBit ? 1 : StopBits() == sbOne5StopBits ? 1.5 : 2);
    const double characterMs = 1000.0 * bits / baud;
    const auto ms = [](double value) { return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(value))); };
    // Each answer byte may be followed by 1.5 characters of silence, as Modbus allows: 2.5 characters a byte.
    return {ms(characterMs * (requestBytes + 2.5 * answerBytes)) + std::chrono::milliseconds(Timeouts().ReadTotalConstant()),
            ms(2 * characterMs)};
}

bool TTransmitter::AwaitSilence(int requestBytes, int longestAnswer, std::chrono::steady_clock::time_point quietSince,
                                std::chrono::milliseconds cap)
{
    // The read limit by the time-outs is for the most bytes any read asks.
    constexpr int kLongestRead = 245;
    try {
        TCustomComPort::AwaitSilence(kLongestRead, ReadFloor(requestBytes, longestAnswer).Total, quietSince, cap);
        return true;
    } catch (...) {
        // The next exchange purges and goes ahead; it fails on its own if the line is still busy.
        return false;
    }
}

void TTransmitter::ShowAlert(const QString& caption, const QString& text)
{
    ShowMessage(caption, text, TMessageIcon::Error);
}
