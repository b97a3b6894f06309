#include "device/Vantor.h"

#include "common/IniFile.h"
#include "device/CommandTable.h"
#include "device/Describe.h"
#include "device/VantorUnit.h"

namespace {

const QString kPauseSection = QStringLiteral("ComPause");

// A pause from the file, or current when the text is no pause we would wait for.
int ReadPause(const TIniFile& ini, const QString& key, int current)
{
    return ini.ReadInteger(kPauseSection, key, current, 0, kMaxComPause);
}

}  // namespace

TVantor::TVantor()
{
    CommandTable().NameGroup(CurrentInput);
    SetName(QStringLiteral("VANTOR"));
    SetSection(QStringLiteral("VANTOR"));
    Title = QStringLiteral("Vantor");
    Hint = QStringLiteral("Vantor");

    TDescriptionOfThreeStates& enabled = Enabled.Description();
    Describe(enabled, QStringLiteral("Enabled"), QStringLiteral("Признак использования"),
             QStringLiteral("Признак использования прибора Vantor"));
    enabled.SetCaptions(QStringLiteral("Неизвестно"), QStringLiteral("Нет"), QStringLiteral("Да"));
    enabled.SetColors1(clBlack, clBlack, clBlack);
    enabled.SetColors2(clGray, clBtnFace, clGreen);
    Enabled.SetValue(tsTrue);

    TDescriptionOfThreeStates& module = ModuleError.Description();
    Describe(module, QStringLiteral("ModuleError"), QStringLiteral("Состояние обмена"),
             QStringLiteral("Состояние обмена с прибором Vantor"));
    module.SetCaptions(QStringLiteral("Неизвестно"), QStringLiteral("Норма"), QStringLiteral("Ошибка"));
    module.SetColors1(clGray, clBlack, clRed);
    module.SetColors2(clGray, clLime, clRed);

    Describe(Error.Description(), QStringLiteral("Error"), QStringLiteral("Код ошибки"), QStringLiteral("Код ошибки Vantor"));

    for (int n = 1; n <= vantor::kInputCount; ++n)
        Inputs_[n - 1] = std::make_unique<TVantorInput>(n);
}

TVantor::~TVantor() = default;

TVantorInput* TVantor::FindInput(int number)
{
    return number >= 1 && number <= vantor::kInputCount ? Inputs_[number - 1].get() : nullptr;
}

void TVantor::SetErrorMax(quint8 value)
{
    if (value == ErrorMax_)
        return;
    ErrorMax_ = value;
    ResetExchangeState();
}

void TVantor::SetSystemAddress(quint8 value)
{
    if (value == SystemAddress_)
        return;
    SystemAddress_ = value;
    ResetExchangeState();
}

void TVantor::RegisterFailure(TDeviceStates outcome)
{
    ++ErrorCount;
    if (ErrorCount < ErrorMax_)
        return;
    DeviceState = outcome;
    ModuleError.Description().SetCaption(tsTrue, DeviceStateMessage(outcome));
    ModuleError.SetValue(tsTrue);
}

void TVantor::ConfirmAnswer()
{
    ErrorCount = 0;
    DeviceState = e_OK;
    SetInputsStale(false);
    ModuleError.SetValue(tsFalse);
}

void TVantor::RegisterLineAway()
{
    RegisterFailure(e_NoAnswer);
    if (ErrorCount >= ErrorMax_)
        SetInputsStale(true);
}

void TVantor::SetInputsStale(bool stale)
{
    if (stale == InputsStale_)
        return;
    InputsStale_ = stale;
    for (const auto& input : Inputs_)
        input->Stale = stale;
    if (OnInputsStale)
        OnInputsStale(this);
}

void TVantor::ResetExchangeState()
{
    ErrorCount = 0;
    DeviceState = e_OK;
    ModuleError.SetValue(tsUnknown);
}

void TVantor::Load()
{
    if (FileName().isEmpty())
        return;
    const TIniFile ini(FileName());
    Enabled.SetValue(BoolToThreeStates(ini.ReadBool(Section(), QStringLiteral("Enabled"), true)));
    // The broadcast address or one the address prompt allows; anything else would reach another
    // controller, or none: keep ours.
    SetSystemAddress(static_cast<quint8>(
        ini.ReadInteger(Section(), QStringLiteral("SystemAddress"), SystemAddress_, 0, kMaxSystemAddress)));
    ComPauseRead = ReadPause(ini, QStringLiteral("ComPauseRead"), ComPauseRead);
    ComPauseWrite = ReadPause(ini, QStringLiteral("ComPauseWrite"), ComPauseWrite);
}

bool TVantor::Save()
{
    return Save(nullptr);
}

bool TVantor::Save(QString* error)
{
    if (FileName().isEmpty())
        return true;
    TIniFile ini(FileName());
    ini.WriteBool(Section(), QStringLiteral("Enabled"), ThreeStatesToBool(Enabled.GetOutValue().ToInteger()));
    ini.WriteInteger(Section(), QStringLiteral("SystemAddress"), SystemAddress_);
    ini.WriteInteger(kPauseSection, QStringLiteral("ComPauseRead"), ComPauseRead);
    ini.WriteInteger(kPauseSection, QStringLiteral("ComPauseWrite"), ComPauseWrite);
    return ini.SaveTelling(error);
}
