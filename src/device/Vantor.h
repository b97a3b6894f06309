#pragma once

#include "device/DeviceStates.h"
#include "device/VantorCodes.h"
#include "device/VantorInput.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

class TVantor;

// Raised after every parsed exchange: the controller, its Title, the command's name, the request,
// the answer (possibly empty) and whether the answer was accepted.
using TOnRequest = std::function<void(TVantor* sender, const QString& device, const QString& command,
                                      const QByteArray& request, const QByteArray& answer, bool result)>;

// The program's image of the controller: identity, link parameters, error state, the 192 inputs
// and the parameters of the write commands. Used in the UI thread, except that the request
// thread advances CurrentInput and builds its requests (reading SystemAddress and CurrentInput)
// under the exchange lock: those two are atomic.
class TVantor : public TDescriptionOfValue
{
public:
    TVantor();
    ~TVantor() override;

    quint16 ErrorCount = 0;  // consecutive failed exchanges
    quint8 ErrorMax() const { return ErrorMax_; }
    quint8 SystemAddress() const { return SystemAddress_; }
    // Both reset the exchange state when the value changes.
    void SetErrorMax(quint8 value);
    void SetSystemAddress(quint8 value);
    TDeviceStates DeviceState = e_OK;
    TOnRequest OnRequest;
    // An answer taken as its group's named another probe for an input than the settings had
    // (the probe was replaced and set up again): the input, the old and the new plant number.
    // Raised while the answer is decoded, once the input has its new number.
    std::function<void(TVantor* sender, int input, quint16 was, quint16 now)> OnPlantNumberChange;

    TIOThreeStates Enabled;      // the controller is in use
    TIOThreeStates ModuleError;  // exchange state: unknown, "Норма", failure message
    quint8 ServiceRange = 0;     // 0 unknown, 1 closed, 2 open
    quint8 ModbusBaud = 0;       // index into BaudTexts()
    quint8 ModbusParity = 0;     // index into ParityTexts()
    TIOInteger Error;            // the controller's error code
    quint8 FreqChannel = 0;
    // First input of the group being polled (1, 5, .., 189), and the input command 7 writes.
    std::atomic<quint8> CurrentInput{vantor::kInputCount};

    // Input 1..192.
    TVantorInput& Input(int number) { return *Inputs_[number - 1]; }
    const TVantorInput& Input(int number) const { return *Inputs_[number - 1]; }
    // Input number, or nullptr outside 1..192 (a group read past the last input decodes less).
    TVantorInput* FindInput(int number);

    // Identification, from the three signature answers.
    QString Manufacturer;
    quint16 PlantNumber = 0;
    bool PlantNumberRead = false;  // PlantNumber came from the controller's signature
    quint8 VerSoft = 0;
    quint8 VerHard = 0;
    QString Site;
    QString Device;
    QString DeviceName;
    quint8 DeviceType = 0;
    QString CRC;

    // Filled by the caller before a write command.
    quint8 WrEnabled = 0;
    qint32 WrInterval = 0;
    double WrBound = 0.0;
    quint16 WrPlantNumber = 0;
    quint8 WrBaud = 0;
    quint8 WrParity = 0;
    quint8 WrSystemAddress = 0;
    quint16 WrDevicePlantNumber = 0;

    void RegisterFailure(TDeviceStates outcome);
    void ConfirmAnswer();
    void ResetExchangeState();

    // A poll cycle that found the line away (its adapter pulled out) counts as an unanswered
    // exchange; once that is shown, every input is marked as not current (TVantorInput::Stale)
    // until an answer is accepted.
    void RegisterLineAway();
    bool InputsStale() const { return InputsStale_; }
    void SetInputsStale(bool stale);
    // Raised when the inputs' mark changes, after it changed.
    std::function<void(TVantor* sender)> OnInputsStale;

    // The settings of INI/VANTOR.ini (Enabled, SystemAddress and the pauses); nothing happens
    // while FileName is empty.
    void Load() override;
    bool Save() override;
    // As Save; on failure error, when given, says which file and why, in Russian.
    bool Save(QString* error);

    // Frames of the commands, empty for a number outside the builder's range.
    QByteArray BuildReadRequest(int command) const;       // 0..3
    // The same for the group whose first input is first.
    QByteArray BuildReadRequest(int command, int first) const;
    QByteArray BuildServiceRequest(int command) const;    // 4..6
    QByteArray BuildWriteRequest(int command) const;      // 7..10
    QByteArray BuildSignatureRequest(int command) const;  // 11..13
    // The builder that serves command.
    QByteArray BuildRequest(int command) const;

    // Validates the answer, decodes it into the model, counts the outcome and raises OnRequest.
    // An identification number that cannot be read throws EConvertError before anything is
    // counted or raised. Group answers are decoded into the inputs the request names. Unless trust
    // says the same answer came twice to its request after a quiet line, one whose probes are not
    // those the settings reads gave for them is another group's (a late answer) and fails as
    // "Несоответствие команды"; so does one that cannot be told apart while the line is in doubt.
    // A probe whose plant number changed in an answer taken is learned, with OnPlantNumberChange.
    bool ParseAnswer(int command, const QByteArray& request, const QByteArray& answer, TAnswerTrust trust = atSettled);
    // The last parse refused a complete answer as another request's: the line is in doubt.
    bool AnswerForeign() const { return AnswerForeign_; }

private:
    void Decode(int command, const QByteArray& request, const QByteArray& answer);
    void DecodeGeneralInfo(const QByteArray& answer);
    void DecodeReadings(int first, const QByteArray& answer);
    void DecodeSettings(int first, const QByteArray& answer);
    void DecodeModbus(const QByteArray& answer);
    void DecodeWriteConfirmed(int command, const QByteArray& request);
    void DecodeSignature(int command, const QByteArray& answer);
    void Notify(int command, const QByteArray& request, const QByteArray& answer, bool result);
    bool BelongsToRequest(int command, const QByteArray& request, const QByteArray& answer, TAnswerTrust trust) const;
    // The probe an accepted answer carries for the input; 0 from a readings answer is a probe not heard yet.
    void LearnPlantNumber(int number, quint16 carried);

    quint8 ErrorMax_ = 1;
    bool InputsStale_ = false;
    bool AnswerForeign_ = false;
    std::atomic<quint8> SystemAddress_{0};
    std::array<std::unique_ptr<TVantorInput>, vantor::kInputCount> Inputs_;
};
