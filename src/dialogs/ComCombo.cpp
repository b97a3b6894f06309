#include "dialogs/ComCombo.h"

#include "common/OperatorMessage.h"
#include "transport/ComPort.h"
#include "transport/EComPort.h"
#include "transport/SerialPorts.h"

#include <QStringList>

namespace {

template <typename TEnum>
QStringList Texts(TEnum last, QString (*text)(TEnum))
{
    QStringList texts;
    for (int member = 0; member <= last; ++member)
        texts << text(static_cast<TEnum>(member));
    return texts;
}

QStringList ItemTexts(TComProperty property)
{
    switch (property) {
    case cpNone: break;
    case cpPort: {
        QStringList ports;
        ListSerialPorts(ports);
        return ports;
    }
    case cpBaudRate: return Texts(br256000, BaudRateText);
    case cpDataBits: return Texts(dbEight, DataBitsText);
    case cpStopBits: return Texts(sbTwoStopBits, StopBitsText);
    case cpParity: return Texts(prSpace, ParityText);
    case cpFlowControl: return Texts(fcCustom, FlowControlText);
    }
    return {};
}

QString PortValueText(const TCustomComPort& port, TComProperty property)
{
    switch (property) {
    case cpNone: break;
    case cpPort: return port.Port();
    case cpBaudRate: return BaudRateText(port.BaudRate());
    case cpDataBits: return DataBitsText(port.DataBits());
    case cpStopBits: return StopBitsText(port.StopBits());
    case cpParity: return ParityText(port.Parity().Bits());
    case cpFlowControl: return FlowControlText(port.FlowControl().FlowControl());
    }
    return {};
}

int FindItem(const QComboBox& items, const QString& text)
{
    return items.findText(text, Qt::MatchFixedString);  // whole text, letter case ignored
}

}  // namespace

TComSelect::TComSelect(QComboBox& items) : Items_(items)
{
}

TComSelect::~TComSelect()
{
    Unlink();
}

void TComSelect::SetComProperty(TComProperty property)
{
    ComProperty_ = property;
    FillItems();
}

void TComSelect::SetComPort(TCustomComPort* port)
{
    if (port != ComPort_) {
        Unlink();
        ComPort_ = port;
        if (port)
            PortGone_ = QObject::connect(port, &QObject::destroyed, &Items_, [this] {
                ComPort_ = nullptr;
                if (Items_.count() > 0)
                    Items_.setCurrentIndex(0);
            });
    }
    if (port)
        LoadFromPort();
}

void TComSelect::Unlink()
{
    QObject::disconnect(PortGone_);
    ComPort_ = nullptr;
}

void TComSelect::FillItems()
{
    Items_.clear();
    Items_.addItems(ItemTexts(ComProperty_));
    if (Items_.count() == 0)
        return;
    if (ComPort_)
        LoadFromPort();
    else
        Items_.setCurrentIndex(0);
}

void TComSelect::LoadFromPort()
{
    if (!ComPort_)
        return;
    const QString text = PortValueText(*ComPort_, ComProperty_);
    int found = FindItem(Items_, text);
    if (found < 0 && ComProperty_ == cpPort && !text.isEmpty()) {
        // A port the system does not list (unplugged, or a path) stays the port's choice: OK
        // without a pick must not replace it with nothing.
        found = 0;
        while (found < Items_.count() && SerialPortNameLess(Items_.itemText(found), text))
            ++found;
        Items_.insertItem(found, text);
    }
    Items_.setCurrentIndex(found);
    if (found < 0)
        return;
    TakeText(Items_.itemText(found));  // the port's own value: nothing to write back
}

void TComSelect::SelectText(const QString& text)
{
    TakeText(text);
    if (AutoApply_)
        ApplyToPort();
}

void TComSelect::TakeText(const QString& text)
{
    switch (ComProperty_) {
    case cpNone: break;
    case cpPort: Port_ = text; break;
    case cpBaudRate: BaudRate_ = ParseBaudRate(text); break;
    case cpDataBits: DataBits_ = ParseDataBits(text); break;
    case cpStopBits: StopBits_ = ParseStopBits(text); break;
    case cpParity: Parity_ = ParseParity(text); break;
    case cpFlowControl: FlowControl_ = ParseFlowControl(text); break;
    }
}

void TComSelect::ApplyToPort()
{
    if (!ComPort_)
        return;
    switch (ComProperty_) {
    case cpNone: break;
    case cpPort: ComPort_->SetPort(Port_); break;
    case cpBaudRate: ComPort_->SetBaudRate(BaudRate_); break;
    case cpDataBits: ComPort_->SetDataBits(DataBits_); break;
    case cpStopBits: ComPort_->SetStopBits(StopBits_); break;
    case cpParity: ComPort_->Parity().SetBits(Parity_); break;
    case cpFlowControl: ComPort_->FlowControl().SetFlowControl(FlowControl_); break;
    }
}

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent), Select_(*this)
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, [this](int index) {
        try {
            Select_.SelectText(index >= 0 ? itemText(index) : QString());
        } catch (const EComPort& error) {
            // An open port may refuse a setting applied at once; the choice stays.
            ShowMessage(kCaptionError, error.Message(), TMessageIcon::Error);
        }
    });
}

QString TComComboBox::Text() const
{
    return currentIndex() >= 0 ? itemText(currentIndex()) : QString();
}

void TComComboBox::SetText(const QString& text)
{
    if (const int found = FindItem(*this, text); found >= 0)
        setCurrentIndex(found);
}
