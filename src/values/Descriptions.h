#pragma once

#include "values/Persistent.h"
#include "values/ThreeStates.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <memory>

class TIniFile;

// A 32-bit Windows colour number: 0x00BBGGRR, or 0x80000000 plus a system colour index.
using TColor = qint32;

inline constexpr TColor clBlack = 0;
inline constexpr TColor clRed = 255;
inline constexpr TColor clGreen = 32768;
inline constexpr TColor clLime = 65280;
inline constexpr TColor clGray = 8421504;
// The system's button-face colour, written -2147483633 in INI files.
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);

// How a value is presented: captions, and (in the classes below) unit, limits and per-state
// captions and colours. Persisted in section Section of the INI file FileName.
class TDescriptionOfCustomValue : public TPersistent
{
public:
    TDescriptionOfCustomValue();
    TDescriptionOfCustomValue(const TDescriptionOfCustomValue& other);
    TDescriptionOfCustomValue& operator=(const TDescriptionOfCustomValue& other);
    ~TDescriptionOfCustomValue() override;

    // Short caption, shown beside the value.
    QString Title;
    // Long description, shown in hints.
    QString Hint;
    // For the owner; not persisted.
    qint32 Tag = 0;

    const QString& Name() const { return Name_; }
    const QString& FileName() const;
    const QString& Section() const;

    // Copies Title and Hint from any description.
    void Assign(const TPersistent& source) override;
    // From a description: Section becomes "<parent's Section>.<Name>" and FileName the parent's.
    // Anything else is ignored.
    virtual void SetParent(const TPersistent* parent);
    // Reads this description's keys; a missing or malformed key keeps the field as it is.
    virtual void Load();
    // Writes this description's keys into the file, keeping everything else in it; creates the
    // file and its folders when missing. False when the file could not be written.
    virtual bool Save();
    virtual void SetName(const QString& name);
    virtual void SetFileName(const QString& fileName);
    virtual void SetSection(const QString& section);

protected:
    explicit TDescriptionOfCustomValue(const QString& defaultName);

    // Each class reads and writes its parent's keys first, then its own.
    virtual void ReadKeys(const TIniFile& ini);
    virtual void WriteKeys(TIniFile& ini) const;

private:
    struct TLocation
    {
        QString FileName;
        QString Section;
    };
    TLocation& Location();

    // Names repeat across the thousands of values (every input has a "Temper1"): one shared copy.
    QString Name_;
    // Few descriptions are persisted: kept out of line, allocated when first set.
    std::unique_ptr<TLocation> Location_;
};

// The base of the typed descriptions and of the device model's classes.
class TDescriptionOfValue : public TDescriptionOfCustomValue
{
public:
    TDescriptionOfValue();

protected:
    using TDescriptionOfCustomValue::TDescriptionOfCustomValue;
};

// Caption and colours of each of the three states, indexed by TThreeStates.
class TDescriptionOfThreeStates : public TDescriptionOfValue
{
public:
    TDescriptionOfThreeStates();

    std::array<QString, 3> Captions;
    // Text colour on labels and in grid cells.
    std::array<TColor, 3> Color1;
    // Carried, copied and persisted only.
    std::array<TColor, 3> Color2;

    void SetCaptions(const QString& unknown, const QString& isFalse, const QString& isTrue);
    // A state outside 0..2 is ignored, or reads as empty text and black.
    void SetCaption(int state, const QString& caption);
    QString GetCaption(int state) const;
    void SetColors1(TColor unknown, TColor isFalse, TColor isTrue);
    TColor GetColor1(int state) const;
    void SetColors2(TColor unknown, TColor isFalse, TColor isTrue);
    TColor GetColor2(int state) const;

    // From a three-state description also the captions and both colour sets.
    void Assign(const TPersistent& source) override;

protected:
    void ReadKeys(const TIniFile& ini) override;
    void WriteKeys(TIniFile& ini) const override;
};

class TDescriptionOfInteger : public TDescriptionOfValue
{
public:
    // The unit.
    QString Dimension;

    qint32 Min() const { return Min_; }
    qint32 Max() const { return Max_; }
    // Both or neither: an inverted pair changes nothing.
    void SetRange(qint32 min, qint32 max);

    void Assign(const TPersistent& source) override;

protected:
    void ReadKeys(const TIniFile& ini) override;
    void WriteKeys(TIniFile& ini) const override;

private:
    qint32 Min_ = 0;
    qint32 Max_ = 100;
};

class TDescriptionOfDouble : public TDescriptionOfValue
{
public:
    // The unit.
    QString Dimension;
    // Significant digits and decimal digits when the value is shown.
    quint8 Precision = 9;
    quint8 Digits = 2;

    double Min() const { return Min_; }
    double Max() const { return Max_; }
    // Both or neither: an inverted pair (or one with NaN) changes nothing.
    void SetRange(double min, double max);

    void Assign(const TPersistent& source) override;

protected:
    void ReadKeys(const TIniFile& ini) override;
    void WriteKeys(TIniFile& ini) const override;

private:
    double Min_ = 0.0;
    double Max_ = 100.0;
};

// A floating description carrying one number of its own, kept within the limits.
class TDDouble : public TDescriptionOfDouble
{
public:
    double Value() const { return Value_; }
    // A new number is limited to at most Max, then to at least Min; NaN is refused.
    void SetValue(double value);
    // Value with Precision significant digits, shortest form, the locale's decimal separator.
    QString ValueText() const;

private:
    double Value_ = 0.0;
};

// One state of an enumerated value.
struct TState
{
    QString Caption;
    // Text colour on labels and in grid cells.
    TColor Color1 = 0;
    // Carried, copied and persisted only.
    TColor Color2 = 0;
    TColor ColorDB = 0;
    // Entering this state is written to the alarm log.
    bool IsAlarm = false;
};

// Captions, colours and alarm flags of the states of an enumerated value, indexed by the value.
// States is implicitly shared: descriptions assigned from one template share one copy.
class TDescriptionOfStates : public TDescriptionOfValue
{
public:
    QList<TState> States;

    // Each resizes States to the count given (new entries zeroed), then sets that field of each.
    void SetCaptions(const QStringList& captions);
    void SetColors1(const QList<TColor>& colors);
    void SetColors2(const QList<TColor>& colors);
    void SetAlarms(const QList<bool>& alarms);

    // From a state description also every state.
    void Assign(const TPersistent& source) override;

protected:
    // Only as many states as States holds: the file cannot add or remove states.
    void ReadKeys(const TIniFile& ini) override;
    void WriteKeys(TIniFile& ini) const override;
};
