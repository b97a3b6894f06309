#include "TestFolder.h"

#include "common/ProgramFolder.h"
#include "device/PollTimer.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/HistoryUnit.h"
#include "history/RiseDetector.h"
#include "transport/Transmitter.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// One number of the program's INI files, the range it is held to, and how the program reads it.
struct TSetting
{
    const char* File;
    QByteArray Header;  // the section line and any key the number needs beside it
    const char* Key;
    const char* Below;
    const char* Above;
    const char* Inside;  // a value at the edge of the range, taken as it is
    double Default;
    std::function<double()> Read;
};

double ReadTransmitter(const std::function<double(const TTransmitter&)>& field)
{
    TTransmitter transmitter;
    transmitter.ReadSettings();
    return field(transmitter);
}

double ReadController(const std::function<double()>& field)
{
    VantorStartup();
    const double value = field();
    VantorShutdown();
    ComPauseRead = 50;
    ComPauseWrite = 150;
    return value;
}

double ReadTimerInterval()
{
    TCustomTimer timer;
    timer.Name = QStringLiteral("ctReqDevices");
    timer.LoadFromIni();
    return timer.Interval();
}

}  // namespace

// Every number read from an INI file: below, above, junk or empty gives the default, and the file
// stays as it was.
TEST(SettingsRanges, EveryNumberOutsideItsRangeGivesItsDefault)
{
    const QByteArray transmitter = "[Transmitter]\r\n";
    const QByteArray vantor = "[VANTOR]\r\n";
    const QByteArray pauses = "[ComPause]\r\n";
    const QByteArray rise = "[RiseAlarm]\r\n";
    const auto rise_ = [](double TRiseSettings::*field) {
        return [field] { return ReadRiseSettings(ProgramFolder() + "INI/VANTOR.ini").*field; };
    };
    const TSetting settings[] = {
        {"Timer.ini", "[ctReqDevices]\r\n", "Interval", "299", "20001", "300", 500, ReadTimerInterval},
        {"VANTOR.ini", vantor, "Sensitivity", "-1", "256", "255", 3, [] { LoadSensitivity(); return double(Sensitivity); }},
        {"VANTOR.ini", vantor, "SystemAddress", "-1", "248", "247", 0,
         [] { return ReadController([] { return double(Vantor()->SystemAddress()); }); }},
        {"VANTOR.ini", pauses, "ComPauseRead", "-1", "60001", "0", 50,
         [] { return ReadController([] { return double(ComPauseRead); }); }},
        {"VANTOR.ini", pauses, "ComPauseWrite", "-1", "60001", "60000", 150,
         [] { return ReadController([] { return double(ComPauseWrite); }); }},
        {"ComPort.ini", transmitter, "ReadInterval", "-2", "60001", "-1", 50,
         [] { return ReadTransmitter([](const TTransmitter& t) { return double(t.Timeouts().ReadInterval()); }); }},
        {"ComPort.ini", transmitter, "ReadTotalConstant", "0", "60001", "1", 150,
         [] { return ReadTransmitter([](const TTransmitter& t) { return double(t.Timeouts().ReadTotalConstant()); }); }},
        {"ComPort.ini", transmitter, "ReadTotalMultiplier", "-1", "101", "100", 2,
         [] { return ReadTransmitter([](const TTransmitter& t) { return double(t.Timeouts().ReadTotalMultiplier()); }); }},
        {"ComPort.ini", transmitter, "WriteTotalConstant", "0", "60001", "60000", 100,
         [] { return ReadTransmitter([](const TTransmitter& t) { return double(t.Timeouts().WriteTotalConstant()); }); }},
        {"ComPort.ini", transmitter, "WriteTotalMultiplier", "-1", "101", "0", 2,
         [] { return ReadTransmitter([](const TTransmitter& t) { return double(t.Timeouts().WriteTotalMultiplier()); }); }},
        {"ComPort.ini", transmitter + "BaudRate=Custom\r\n", "CustomBaudRate", "0", "4000001", "110", 9600,
         [] { return ReadTransmitter([](const TTransmitter& t) { return double(t.CustomBaudRate()); }); }},
        {"VANTOR.ini", "[History]\r\n", "RetentionDays", "0", "36501", "36500", 730, [] { return double(HistoryRetentionDays()); }},
        {"VANTOR.ini", rise, "RatePerDay", "0", "100000.5", "100000", 1.0, rise_(&TRiseSettings::RatePerDay)},
        {"VANTOR.ini", rise, "MinHours", "-1", "8785", "0.05", 6, rise_(&TRiseSettings::MinHours)},
        {"VANTOR.ini", rise, "WindowHours", "0", "8785", "8784", 24, rise_(&TRiseSettings::WindowHours)},
    };
    for (const TSetting& s : settings) {
        for (const char* value : {s.Below, s.Above, "abc", "", "2147483648", "1e400", "nan", s.Inside}) {
            TestFolder folder;
            const QByteArray text = s.Header + s.Key + '=' + value + "\r\n";
            folder.Write(QStringLiteral("INI/") + s.File, text);
            const double expected = value == s.Inside ? QByteArray(value).toDouble() : s.Default;
            EXPECT_DOUBLE_EQ(s.Read(), expected) << s.Key << '=' << value;
            EXPECT_EQ(folder.Read(QStringLiteral("INI/") + s.File), text) << s.Key << '=' << value;
        }
    }
}
