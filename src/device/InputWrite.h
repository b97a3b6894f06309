#pragma once

#include "device/VantorCodes.h"

#include <QList>
#include <QString>

#include <functional>

// The settings of one input as the operator gives them to command 7.
struct TInputSettings
{
    quint16 PNum = 0;  // probe plant number
    bool Enabled = false;
    quint16 Period = 0;  // probe poll period, minutes
    double Bound = 0.0;  // set-point, °C
};

// The name command 7 carries while a configuration is written: followed by the input number.
inline const QString kWriteInputSettingsName = QStringLiteral("Записать настройки входа ");

// Set-points travel in 1/16 °C: the nearest step, halves to the even one (85.03 gives 85.0,
// 85.04 gives 85.0625).
double RoundToSixteenths(double degrees);
// Whether the set-point register (a signed 16-bit count of sixteenths) carries degrees once
// rounded: -2048 up to 2047.9375. NaN and infinities never fit.
bool SetPointFits(double degrees);

// Fills the controller's write parameters for input number (CurrentInput, WrEnabled, WrInterval,
// WrBound rounded, WrPlantNumber), names command 7 commandName and runs it. False when there is
// no controller, the number lies outside 1..192 or the command failed.
bool WriteInputSettings(int number, const TInputSettings& settings, const QString& commandName);

// Writes inputs First..Last (none when Last is below First) in ascending order, each under
// kWriteInputSettingsName + n, with ComPauseWrite ms between them during which events are
// processed. Inputs for which Settings gives nullptr are skipped without an exchange.
struct TInputsWrite
{
    int First = 1;
    int Last = vantor::kInputCount;
    std::function<const TInputSettings*(int input)> Settings;
    // After each input written, before the pause.
    std::function<void(int input, bool ok)> OnWritten;
    // Asked after each pause: true ends the loop there.
    std::function<bool()> Stopping;
};

struct TInputsWriteResult
{
    QList<int> Failed;
    bool Stopped = false;  // ended by Stopping before Last
    int LastWritten = 0;   // 0 when nothing was sent
};

TInputsWriteResult WriteInputs(const TInputsWrite& write);

// "3,17,42".
QString FailureList(const QList<int>& inputs);
