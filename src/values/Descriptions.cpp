#include "values/Descriptions.h"

#include "common/IniFile.h"
#include "common/ProgramFolder.h"

#include <QLocale>
#include <QMutex>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

// "Captions[tsTrue]" and the like.
QString StateKey(const char* field, int state)
{
    static const char* const names[] = {"[tsUnknown]", "[tsFalse]", "[tsTrue]"};
    return QLatin1String(field) + QLatin1String(names[state]);
}

bool IsState(int state)
{
    return state >= 0 && state < 3;
}

// Resizes to count keeping the existing entries, then sets one field of each entry in order.
template <class T, class Set>
void SetEach(QList<TState>& states, const QList<T>& items, Set set)
{
    states.resize(items.size());
    for (qsizetype i = 0; i < items.size(); ++i)
        set(states[i], items[i]);
}

QString IndexedKey(const char* prefix, qsizetype n)
{
    return QLatin1String(prefix) + QString::number(n) + u']';
}

// One shared copy of each name ever given.
QString Interned(const QString& name)
{
    static QMutex guard;
    static QSet<QString> names;
    const QMutexLocker lock(&guard);
    const auto found = names.constFind(name);
    if (found != names.cend())
        return *found;
    QString copy = name;
    copy.squeeze();
    names.insert(copy);
    return copy;
}

const QString& NoText()
{
    static const QString empty;
    return empty;
}

}  // namespace

TDescriptionOfCustomValue::TDescriptionOfCustomValue()
    : TDescriptionOfCustomValue(QStringLiteral("DescriptionOfCustomValue"))
{
}

TDescriptionOfCustomValue::TDescriptionOfCustomValue(const QString& defaultName) : Name_(defaultName)
{
}

TDescriptionOfCustomValue::TDescriptionOfCustomValue(const TDescriptionOfCustomValue& other)
    : TPersistent(other), Title(other.Title), Hint(other.Hint), Tag(other.Tag), Name_(other.Name_),
      Location_(other.Location_ ? std::make_unique<TLocation>(*other.Location_) : nullptr)
{
}

TDescriptionOfCustomValue& TDescriptionOfCustomValue::operator=(const TDescriptionOfCustomValue& other)
{
    if (this == &other)
        return *this;
    TPersistent::operator=(other);
    Title = other.Title;
    Hint = other.Hint;
    Tag = other.Tag;
    Name_ = other.Name_;
    Location_ = other.Location_ ? std::make_unique<TLocation>(*other.Location_) : nullptr;
    return *this;
}

TDescriptionOfCustomValue::~TDescriptionOfCustomValue() = default;

TDescriptionOfCustomValue::TLocation& TDescriptionOfCustomValue::Location()
{
    if (!Location_)
        Location_ = std::make_unique<TLocation>();
    return *Location_;
}

const QString& TDescriptionOfCustomValue::FileName() const
{
    return Location_ ? Location_->FileName : NoText();
}

const QString& TDescriptionOfCustomValue::Section() const
{
    return Location_ ? Location_->Section : NoText();
}

void TDescriptionOfCustomValue::Assign(const TPersistent& source)
{
    if (const auto* other = dynamic_cast<const TDescriptionOfCustomValue*>(&source)) {
        Title = other->Title;
        Hint = other->Hint;
    }
}

void TDescriptionOfCustomValue::SetParent(const TPersistent* parent)
{
    if (const auto* other = dynamic_cast<const TDescriptionOfCustomValue*>(parent)) {
        SetSection(other->Section() + u'.' + Name_);
        SetFileName(other->FileName());
    }
}

void TDescriptionOfCustomValue::Load()
{
    ReadKeys(TIniFile(FileName()));
}

bool TDescriptionOfCustomValue::Save()
{
    if (!EnsureFile(FileName()))
        return false;
    TIniFile ini(FileName());
    WriteKeys(ini);
    return ini.Save();
}

void TDescriptionOfCustomValue::SetName(const QString& name)
{
    Name_ = Interned(name);
}

void TDescriptionOfCustomValue::SetFileName(const QString& fileName)
{
    Location().FileName = fileName;
}

void TDescriptionOfCustomValue::SetSection(const QString& section)
{
    Location().Section = section;
}

void TDescriptionOfCustomValue::ReadKeys(const TIniFile& ini)
{
    Title = ini.ReadString(Section(), QStringLiteral("Title"), Title);
    Hint = ini.ReadString(Section(), QStringLiteral("Hint"), Hint);
}

void TDescriptionOfCustomValue::WriteKeys(TIniFile& ini) const
{
    ini.WriteString(Section(), QStringLiteral("Title"), Title);
    ini.WriteString(Section(), QStringLiteral("Hint"), Hint);
}

TDescriptionOfValue::TDescriptionOfValue()
    : TDescriptionOfCustomValue(QStringLiteral("DescriptionOfValue"))
{
}

// ---- three states

TDescriptionOfThreeStates::TDescriptionOfThreeStates()
    : TDescriptionOfValue(QStringLiteral("DescriptionOfThreeStates")),
      Captions{QStringLiteral("Unknown"), QStringLiteral("Off"), QStringLiteral("On")},
      Color1{clGray, clRed, clLime},
      Color2{clBtnFace, clBtnFace, clBtnFace}
{
}

void TDescriptionOfThreeStates::SetCaptions(const QString& unknown, const QString& isFalse,
                                            const QString& isTrue)
{
    Captions = {unknown, isFalse, isTrue};
}

void TDescriptionOfThreeStates::SetCaption(int state, const QString& caption)
{
    if (IsState(state))
        Captions[state] = caption;
}

QString TDescriptionOfThreeStates::GetCaption(int state) const
{
    return IsState(state) ? Captions[state] : QString();
}

void TDescriptionOfThreeStates::SetColors1(TColor unknown, TColor isFalse, TColor isTrue)
{
    Color1 = {unknown, isFalse, isTrue};
}

TColor TDescriptionOfThreeStates::GetColor1(int state) const
{
    return IsState(state) ? Color1[state] : clBlack;
}

void TDescriptionOfThreeStates::SetColors2(TColor unknown, TColor isFalse, TColor isTrue)
{
    Color2 = {unknown, isFalse, isTrue};
}

TColor TDescriptionOfThreeStates::GetColor2(int state) const
{
    return IsState(state) ? Color2[state] : clBlack;
}

void TDescriptionOfThreeStates::Assign(const TPersistent& source)
{
    TDescriptionOfValue::Assign(source);
    if (const auto* other = dynamic_cast<const TDescriptionOfThreeStates*>(&source)) {
        Captions = other->Captions;
        Color2 = other->Color2;
        Color1 = other->Color1;
    }
}

void TDescriptionOfThreeStates::ReadKeys(const TIniFile& ini)
{
    TDescriptionOfValue::ReadKeys(ini);
    for (int s = 0; s < 3; ++s)
        Captions[s] = ini.ReadString(Section(), StateKey("Captions", s), Captions[s]);
    for (int s = 0; s < 3; ++s)
        Color1[s] = ini.ReadInteger(Section(), StateKey("Color1", s), Color1[s]);
    for (int s = 0; s < 3; ++s)
        Color2[s] = ini.ReadInteger(Section(), StateKey("Color2", s), Color2[s]);
}

void TDescriptionOfThreeStates::WriteKeys(TIniFile& ini) const
{
    TDescriptionOfValue::WriteKeys(ini);
    for (int s = 0; s < 3; ++s)
        ini.WriteString(Section(), StateKey("Captions", s), Captions[s]);
    for (int s = 0; s < 3; ++s)
        ini.WriteInteger(Section(), StateKey("Color1", s), Color1[s]);
    for (int s = 0; s < 3; ++s)
        ini.WriteInteger(Section(), StateKey("Color2", s), Color2[s]);
}

// ---- integer

void TDescriptionOfInteger::SetRange(qint32 min, qint32 max)
{
    if (max < min)
        return;
    Min_ = min;
    Max_ = max;
}

void TDescriptionOfInteger::Assign(const TPersistent& source)
{
    TDescriptionOfValue::Assign(source);
    if (const auto* other = dynamic_cast<const TDescriptionOfInteger*>(&source)) {
        Dimension = other->Dimension;
        Min_ = other->Min_;
        Max_ = other->Max_;
    }
}

void TDescriptionOfInteger::ReadKeys(const TIniFile& ini)
{
    TDescriptionOfValue::ReadKeys(ini);
    const qint32 max = ini.ReadInteger(Section(), QStringLiteral("Max"), Max_);
    const qint32 min = ini.ReadInteger(Section(), QStringLiteral("Min"), Min_);
    SetRange(min, max);
    Dimension = ini.ReadString(Section(), QStringLiteral("Dimension"), Dimension);
}

void TDescriptionOfInteger::WriteKeys(TIniFile& ini) const
{
    TDescriptionOfValue::WriteKeys(ini);
    // Floating text of a whole number is its decimal digits; the shortest floating form would
    // turn 1000000 into 1e+06, which no longer reads back as an integer.
    ini.WriteInteger(Section(), QStringLiteral("Max"), Max_);
    ini.WriteInteger(Section(), QStringLiteral("Min"), Min_);
    ini.WriteString(Section(), QStringLiteral("Dimension"), Dimension);
}

// ---- floating

void TDescriptionOfDouble::SetRange(double min, double max)
{
    if (!(min <= max))
        return;
    Min_ = min;
    Max_ = max;
}

void TDescriptionOfDouble::Assign(const TPersistent& source)
{
    TDescriptionOfValue::Assign(source);
    if (const auto* other = dynamic_cast<const TDescriptionOfDouble*>(&source)) {
        Dimension = other->Dimension;
        Min_ = other->Min_;
        Max_ = other->Max_;
        Precision = other->Precision;
        Digits = other->Digits;
    }
}

void TDescriptionOfDouble::ReadKeys(const TIniFile& ini)
{
    TDescriptionOfValue::ReadKeys(ini);
    const double min = ini.ReadFloat(Section(), QStringLiteral("Min"), Min_);
    const double max = ini.ReadFloat(Section(), QStringLiteral("Max"), Max_);
    SetRange(min, max);
    Dimension = ini.ReadString(Section(), QStringLiteral("Dimension"), Dimension);
    Precision = static_cast<quint8>(ini.ReadInteger(Section(), QStringLiteral("Precision"), Precision));
    Digits = static_cast<quint8>(ini.ReadInteger(Section(), QStringLiteral("Digits"), Digits));
}

void TDescriptionOfDouble::WriteKeys(TIniFile& ini) const
{
    TDescriptionOfValue::WriteKeys(ini);
    ini.WriteFloat(Section(), QStringLiteral("Max"), Max_);
    ini.WriteFloat(Section(), QStringLiteral("Min"), Min_);
    ini.WriteString(Section(), QStringLiteral("Dimension"), Dimension);
    ini.WriteInteger(Section(), QStringLiteral("Precision"), Precision);
    ini.WriteInteger(Section(), QStringLiteral("Digits"), Digits);
}

void TDDouble::SetValue(double value)
{
    if (value == Value_ || std::isnan(value))
        return;
    Value_ = std::max(std::min(value, Max()), Min());
}

QString TDDouble::ValueText() const
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    // 'g' drops trailing zeros and switches to an exponent only for very large or small numbers.
    return locale.toString(Value_, 'g', std::clamp<int>(Precision, 1, 17));
}

// ---- enumerated states

void TDescriptionOfStates::SetCaptions(const QStringList& captions)
{
    SetEach(States, captions, [](TState& state, const QString& caption) { state.Caption = caption; });
}

void TDescriptionOfStates::SetColors1(const QList<TColor>& colors)
{
    SetEach(States, colors, [](TState& state, TColor color) { state.Color1 = color; });
}

void TDescriptionOfStates::SetColors2(const QList<TColor>& colors)
{
    SetEach(States, colors, [](TState& state, TColor color) { state.Color2 = color; });
}

void TDescriptionOfStates::SetAlarms(const QList<bool>& alarms)
{
    SetEach(States, alarms, [](TState& state, bool alarm) { state.IsAlarm = alarm; });
}

void TDescriptionOfStates::Assign(const TPersistent& source)
{
    TDescriptionOfValue::Assign(source);
    if (const auto* other = dynamic_cast<const TDescriptionOfStates*>(&source))
        States = other->States;
}

void TDescriptionOfStates::ReadKeys(const TIniFile& ini)
{
    TDescriptionOfValue::ReadKeys(ini);
    for (qsizetype n = 0; n < States.size(); ++n) {
        TState& state = States[n];
        state.Caption = ini.ReadString(Section(), IndexedKey("Captions[", n), state.Caption);
        state.Color1 = ini.ReadInteger(Section(), IndexedKey("Color1[", n), state.Color1);
        state.Color2 = ini.ReadInteger(Section(), IndexedKey("Color2[", n), state.Color2);
        state.ColorDB = ini.ReadInteger(Section(), IndexedKey("ColorDB[", n), state.ColorDB);
        state.IsAlarm = ini.ReadBool(Section(), IndexedKey("IsAlarm[", n), state.IsAlarm);
    }
}

void TDescriptionOfStates::WriteKeys(TIniFile& ini) const
{
    TDescriptionOfValue::WriteKeys(ini);
    for (qsizetype n = 0; n < States.size(); ++n) {
        const TState& state = States[n];
        ini.WriteString(Section(), IndexedKey("Captions[", n), state.Caption);
        ini.WriteInteger(Section(), IndexedKey("Color1[", n), state.Color1);
        ini.WriteInteger(Section(), IndexedKey("Color2[", n), state.Color2);
        ini.WriteInteger(Section(), IndexedKey("ColorDB[", n), state.ColorDB);
        ini.WriteBool(Section(), IndexedKey("IsAlarm[", n), state.IsAlarm);
    }
}
