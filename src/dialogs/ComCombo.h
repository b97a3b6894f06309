#pragma once

#include "transport/ComTypes.h"

#include <QComboBox>
#include <QMetaObject>
#include <QString>

class TCustomComPort;

// Which setting of a port a list edits.
enum TComProperty : std::uint8_t { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// The working part of a settings list: the value the operator chose, waiting for ApplyToPort, and
// the link to the port. The items are those of the list that owns it.
class TComSelect
{
public:
    explicit TComSelect(QComboBox& items);
    ~TComSelect();
    TComSelect(const TComSelect&) = delete;
    TComSelect& operator=(const TComSelect&) = delete;

    TComProperty ComProperty() const { return ComProperty_; }
    // Refills the items for the setting.
    void SetComProperty(TComProperty property);
    TCustomComPort* ComPort() const { return ComPort_; }
    // Links the list to a port (not owned) and shows its value; the link goes when the port does.
    void SetComPort(TCustomComPort* port);
    // Each choice goes straight to the port.
    bool AutoApply() const { return AutoApply_; }
    void SetAutoApply(bool autoApply) { AutoApply_ = autoApply; }

    // Items for the setting; the first is selected, or the port's value when a port is linked.
    void FillItems();
    // Selects the item that shows the port's value (whole text, any letter case) and takes it as
    // the chosen value. The port's own name is always listed, so the port list never loses it.
    void LoadFromPort();
    // The chosen value from an item text; a text no setting has falls back as the parse rules say.
    void SelectText(const QString& text);
    // Writes the chosen value into the linked port.
    void ApplyToPort();

private:
    void Unlink();
    // The chosen value from an item text.
    void TakeText(const QString& text);

    QComboBox& Items_;
    TComProperty ComProperty_ = cpNone;
    TCustomComPort* ComPort_ = nullptr;
    QMetaObject::Connection PortGone_;
    bool AutoApply_ = false;
    // The chosen values, one per setting.
    QString Port_;
    TBaudRate BaudRate_ = brCustom;
    TDataBits DataBits_ = dbFive;
    TStopBits StopBits_ = sbOneStopBit;
    TParityBits Parity_ = prNone;
    TFlowControl FlowControl_ = fcHardware;
};

// A drop-down list of one port setting: the operator picks, never types. Picking an item takes it
// as the chosen value; nothing reaches the port before ApplyToPort unless AutoApply is on.
class TComComboBox : public QComboBox
{
    Q_OBJECT

public:
    using enum TComProperty;  // the form names the settings through the class

    explicit TComComboBox(QWidget* parent = nullptr);

    TComSelect& ComSelect() { return Select_; }

    TComProperty ComProperty() const { return Select_.ComProperty(); }
    void SetComProperty(TComProperty property) { Select_.SetComProperty(property); }
    // The name the form compiler calls.
    void setComProperty(TComProperty property) { SetComProperty(property); }
    TCustomComPort* ComPort() const { return Select_.ComPort(); }
    void SetComPort(TCustomComPort* port) { Select_.SetComPort(port); }
    bool AutoApply() const { return Select_.AutoApply(); }
    void SetAutoApply(bool autoApply) { Select_.SetAutoApply(autoApply); }

    // The selected item's text, empty when nothing is selected.
    QString Text() const;
    // Selects the item with that text (any letter case); any other text changes nothing.
    void SetText(const QString& text);

private:
    TComSelect Select_;
};
