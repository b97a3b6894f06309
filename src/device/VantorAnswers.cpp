#include "common/ByteText.h"
#include "device/CommandTable.h"
#include "device/Frames.h"
#include "device/SignatureFields.h"
#include "device/Vantor.h"

using namespace vantor;

namespace {

// Data bytes of an accepted answer; validation has checked the length against the command's.
quint8 Byte(const QByteArray& answer, qsizetype at)
{
    return static_cast<quint8>(answer[at]);
}

quint16 Word(const QByteArray& answer, qsizetype at)
{
    return MakeWord(Byte(answer, at), Byte(answer, at + 1));
}

// The input whose registers a request of command starts at: the first of a group for the reads
// of commands 1 and 2, the written one for command 7; 0 for anything else. An answer carries no
// input number, so it is placed by the request it answers, whatever CurrentInput says by now.
int RequestedInput(int command, const QByteArray& request)
{
    if (request.size() < 4)
        return 0;
    const int start = Word(request, 2);
    int base = 0, size = 0;
    if (command == cmdReadInputs)
        base = InputBlockFirst(1), size = kInputBlockSize;
    else if (command == cmdReadSettings || command == cmdWriteInput)
        base = SettingsBlockFirst(1), size = kSettingsBlockSize;
    else
        return 0;
    return start >= base && (start - base) % size == 0 ? (start - base) / size + 1 : 0;
}

// Where a group answer carries the plant number of its k-th input.
qsizetype PlantNumberAt(int command, int k)
{
    return command == cmdReadInputs ? 32 * k + 23 : 20 * k + 5;
}

// The inputs of the group starting at first, with their place k in it; a group reaching past
// the last input decodes only the inputs there are.
template <class Decode>
void ForGroup(TVantor& vantor, int first, Decode decode)
{
    for (int k = 0; k < kGroupSize; ++k)
        if (TVantorInput* input = vantor.FindInput(first + k))
            decode(*input, k);
}

}  // namespace

bool TVantor::ParseAnswer(int command, const QByteArray& request, const QByteArray& answer, TAnswerTrust trust)
{
    TAnswerValidation check = ValidateAnswer(answer, request, CommandTable().AnswerLength(command));
    AnswerForeign_ = check.Verdict == TAnswerValidation::Accepted
                     && !BelongsToRequest(command, request, answer, trust);
    if (AnswerForeign_)
        check = {TAnswerValidation::Failed, e_IllegalCommand};
    if (check.Verdict == TAnswerValidation::Failed)
        RegisterFailure(check.State);
    if (check.Verdict != TAnswerValidation::Accepted) {
        Notify(command, request, answer, false);
        return false;
    }
    Decode(command, request, answer);
    ConfirmAnswer();
    Notify(command, request, answer, true);
    return true;
}

bool TVantor::BelongsToRequest(int command, const QByteArray& request, const QByteArray& answer,
                               TAnswerTrust trust) const
{
    // Asked twice after a quiet line, it is this request's, whatever probes it names: they may
    // have been replaced.
    if (trust == atRepeated)
        return true;
    const quint8 function = static_cast<quint8>(answer[1]);
    const bool groupAnswer = (command == cmdReadInputs && function == 0x04) || (command == cmdReadSettings && function == 0x03);
    const int first = RequestedInput(command, request);
    if (!groupAnswer || first == 0)
        return true;
    // A probe's plant number is its own: one input of the group carrying the number its settings
    // gave proves the answer; another number where one is known disproves it. A late answer of
    // another group fits any group's form, so only this tells it apart, however late it came.
    bool proven = false, disproven = false;
    for (int k = 0; k < kGroupSize; ++k) {
        const TVantorInput* input = first + k <= kInputCount ? &Input(first + k) : nullptr;
        const qsizetype at = PlantNumberAt(command, k);
        if (!input || !input->SettingsKnown || input->SettingsPlantNumber == 0 || answer.size() < at + 2)
            continue;
        const quint16 carried = Word(answer, at);
        if (carried == input->SettingsPlantNumber)
            proven = true;
        else if (carried != 0 || command == cmdReadSettings)  // a probe not yet heard reads 0
            disproven = true;
    }
    if (proven)
        return true;
    // After an exchange that got no answer of its own, its answer may still come: what cannot be
    // proven then is not taken.
    return !disproven && trust == atSettled;
}

void TVantor::LearnPlantNumber(int number, quint16 carried)
{
    TVantorInput& input = Input(number);
    const quint16 was = input.SettingsPlantNumber;
    const bool changed = input.SettingsKnown && was != 0 && carried != was;
    input.SettingsPlantNumber = carried;
    if (changed && OnPlantNumberChange)
        OnPlantNumberChange(this, number, was, carried);
}

void TVantor::Notify(int command, const QByteArray& request, const QByteArray& answer, bool result)
{
    if (OnRequest)
        OnRequest(this, Title, CommandTable().Name(command), request, answer, result);
}

void TVantor::Decode(int command, const QByteArray& request, const QByteArray& answer)
{
    // Validation guarantees AnswerLength bytes for the data functions; a listed pair whose
    // command has no fixed length (the identification) reads through bounded readers only.
    switch (static_cast<quint8>(answer[1])) {
    case 0x04:
        if (command == cmdGeneralInfo)
            DecodeGeneralInfo(answer);
        else if (command == cmdReadInputs)
            DecodeReadings(RequestedInput(command, request), answer);
        break;
    case 0x03:
        if (command == cmdReadSettings)
            DecodeSettings(RequestedInput(command, request), answer);
        else if (command == cmdReadModbus)
            DecodeModbus(answer);
        break;
    case 0x10:
        DecodeWriteConfirmed(command, request);
        break;
    case 0x2B:
        DecodeSignature(command, answer);
        break;
    default:
        break;
    }
}

void TVantor::DecodeGeneralInfo(const QByteArray& answer)
{
    Error.SetValue(Word(answer, 3));
    FreqChannel = Byte(answer, 6);
}

void TVantor::DecodeReadings(int first, const QByteArray& answer)
{
    ForGroup(*this, first, [this, first, &answer](TVantorInput& input, int k) {
        const int o = 32 * k;
        input.SoftVersion = Byte(answer, o + 22);
        input.PlantNumber = Word(answer, o + 23);
        // A probe not heard yet reads 0 here; a settings read names none as 0.
        if (input.PlantNumber != 0)
            LearnPlantNumber(first + k, input.PlantNumber);
        input.CRC = ToHexText(answer.mid(o + 25, 2));
        input.OprosState.SetValue(Byte(answer, o + 4));
        input.Battery = Byte(answer, o + 6);
        const quint16 bounds = Word(answer, o + 7);
        for (int i = 0; i < kSensorCount; ++i)
            input.Bound[i].SetValue(bounds & (1 << i) ? tsTrue : tsFalse);
        for (int i = 0; i < kSensorCount; ++i) {
            const quint16 raw = Word(answer, o + 9 + 2 * i);
            if (raw >= kSensorStatusFirst && raw <= kSensorStatusLast) {
                // A status, not a temperature: the last temperature stays.
                input.TemperState[i].SetValue(2 + (raw - kSensorStatusFirst));
            } else {
                input.TemperState[i].SetValue(1);
                input.Temper[i].SetValue(static_cast<qint16>(raw) / 16.0);
            }
        }
    });
}

void TVantor::DecodeSettings(int first, const QByteArray& answer)
{
    ForGroup(*this, first, [this, first, &answer](TVantorInput& input, int k) {
        const int m = 20 * k;
        input.ChannelEnabled.SetValue(Byte(answer, m + 4) != 0 ? tsTrue : tsFalse);
        input.PlantNumber = Word(answer, m + 5);
        LearnPlantNumber(first + k, input.PlantNumber);
        input.SettingsKnown = true;
        input.Interval = Word(answer, m + 7);
        input.TemperBound.SetValue(static_cast<qint16>(Word(answer, m + 9)) / 16.0);
    });
}

void TVantor::DecodeModbus(const QByteArray& answer)
{
    ModbusBaud = Byte(answer, 4);
    ModbusParity = Byte(answer, 6);
}

void TVantor::DecodeWriteConfirmed(int command, const QByteArray& request)
{
    switch (command) {
    case cmdOpenService:
        ServiceRange = 2;
        break;
    case cmdCloseService:
        ServiceRange = 1;
        break;
    case cmdWriteInput: {
        TVantorInput* found = FindInput(RequestedInput(command, request));
        if (!found)
            break;
        TVantorInput& input = *found;
        input.SettingsKnown = true;
        input.ChannelEnabled.SetValue(WrEnabled != 0 ? tsTrue : tsFalse);
        input.Interval = static_cast<quint16>(WrInterval);
        input.TemperBound.SetValue(WrBound);
        input.PlantNumber = WrPlantNumber;
        input.SettingsPlantNumber = WrPlantNumber;
        break;
    }
    case cmdWriteModbus:
        ModbusBaud = WrBaud;
        ModbusParity = WrParity;
        break;
    case cmdWriteAddress:
        SetSystemAddress(WrSystemAddress);
        break;
    case cmdWritePlantNumber:
        PlantNumber = WrDevicePlantNumber;
        break;
    default:
        break;
    }
}

void TVantor::DecodeSignature(int command, const QByteArray& answer)
{
    // Objects in the order they come, placed by their own length bytes.
    const int l0 = SignatureByte(answer, 9);
    switch (command) {
    case cmdSignature1: {
        const int l1 = SignatureByte(answer, 11 + l0);
        const qsizetype third = 14 + l0 + l1;
        // Read all three numbers before storing any, so a bad answer changes nothing.
        const int plant = SignatureNumber(answer, 12 + l0, l1, 0xFFFF);
        const int hard = SignatureNumber(answer, third + 13, 3, 0xFF);
        const int soft = SignatureNumber(answer, third + 30, 3, 0xFF);
        Manufacturer = SignatureText(answer, 10, l0);
        PlantNumber = static_cast<quint16>(plant);
        PlantNumberRead = true;
        VerHard = static_cast<quint8>(hard);
        VerSoft = static_cast<quint8>(soft);
        break;
    }
    case cmdSignature2: {
        const int l1 = SignatureByte(answer, 11 + l0);
        const int l2 = SignatureByte(answer, 13 + l0 + l1);
        Site = SignatureText(answer, 10, l0);
        Device = SignatureText(answer, 12 + l0, l1);
        DeviceName = SignatureText(answer, 14 + l0 + l1, l2);
        break;
    }
    case cmdSignature3:
        DeviceType = static_cast<quint8>(SignatureNumber(answer, 25, 2, 0xFF));
        CRC = SignatureText(answer, 37, 6);
        break;
    default:
        break;
    }
}
