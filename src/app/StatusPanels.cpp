#include "app/StatusPanels.h"

#include "app/LogTroubleView.h"
#include "device/PollTimer.h"
#include "publish/Publisher.h"
#include "publish/PublishUnit.h"
#include "station/InputAlarms.h"
#include "transport/PortWatch.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

#include <algorithm>

namespace {

// Status bar panels 0..2; the first grows with its port path.
constexpr int kStatusWidths[3] = {50, 145, 120};

QString BrokerPanelText(TBrokerState state)
{
    switch (state) {
    case TBrokerState::Online:
        return QStringLiteral("MQTT: связь есть");
    case TBrokerState::Offline:
        return QStringLiteral("MQTT: нет связи");
    default:
        return QStringLiteral("MQTT: соединение…");
    }
}

QString BrokerToolTip(const TPublisher& publisher, const QString& reason)
{
    return publisher.Settings().Host + u':' + QString::number(publisher.Settings().Port)
           + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
}

}  // namespace

TStatusPanels::TStatusPanels(QStatusBar* bar) : Bar_(bar)
{
    const QString texts[3] = {QStringLiteral("COM"), QStringLiteral("Состояние порта"),
                              QStringLiteral("Состояние опроса")};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(texts[i], bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // A port path is longer than a Windows port name: the first panel grows to show it.
        panel->setMinimumWidth(kStatusWidths[i]);
        if (i > 0)
            panel->setMaximumWidth(kStatusWidths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        bar->addWidget(panel);
        Panels_.push_back(panel);
    }
    AlarmPanel_ = new QLabel(bar);
    AlarmPanel_->setObjectName(QStringLiteral("StatusPanelAlarms"));
    AlarmPanel_->setFrameShape(QFrame::Panel);
    AlarmPanel_->setFrameShadow(QFrame::Sunken);
    bar->addWidget(AlarmPanel_);
    HintPanel_ = new QLabel(bar);
    HintPanel_->setObjectName(QStringLiteral("StatusPanelHint"));
    HintPanel_->setTextFormat(Qt::PlainText);
    // A long hint is cut rather than pushing the panels aside.
    HintPanel_->setMinimumWidth(1);
    HintIndex_ = Count() + 1;
    bar->addWidget(HintPanel_, 1);
}

TStatusPanels::~TStatusPanels() = default;

QString TStatusPanels::Text(int panel) const
{
    return panel >= 0 && panel < Count() ? Panels_[panel]->text() : QString();
}

void TStatusPanels::Set(int panel, const QString& text)
{
    if (panel < 0 || panel >= Count())
        return;
    QLabel* label = Panels_[panel];
    label->setText(text);
    // A text with a port path in it ("Порт отключен: /dev/serial/by-id/...") widens its panel
    // for as long as it is shown.
    if (panel > 0)
        label->setMaximumWidth(std::max(label->minimumWidth(), label->sizeHint().width()));
}

void TStatusPanels::ShowAlarms(const TAlarmCounts& counts)
{
    const QString text = AlarmCountsText(counts);
    if (text == AlarmPanel_->text())
        return;
    AlarmPanel_->setText(text);
    // Red while any alarm is active, as the cells that show it.
    AlarmPanel_->setStyleSheet(counts.Total() > 0 ? QStringLiteral("QLabel { color: #ff0000; }") : QString());
}

QAbstractButton* TStatusPanels::AddNextAlarmButton(QAction* action)
{
    auto* button = new QToolButton(Bar_);
    button->setObjectName(QStringLiteral("btNextAlarm"));
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    Bar_->insertWidget(HintIndex_++, button);
    return button;
}

void TStatusPanels::ShowHint(const QString& hint)
{
    HintPanel_->setText(hint);
}

QString TStatusPanels::Hint() const
{
    return HintPanel_->text();
}

void TStatusPanels::ShowPortState()
{
    const TTransmitter* transmitter = Transmitter();
    if (transmitter && transmitter->Connected() && transmitter->DeviceAway())
        Set(1, PortVanishedText(transmitter->Port()));
    else
        Set(1, transmitter && transmitter->Connected() ? QStringLiteral("Порт открыт") : QStringLiteral("Порт закрыт"));
}

void TStatusPanels::ShowPollState(const TCustomTimer* timer)
{
    Set(2, timer && timer->Enabled() ? QStringLiteral("Опрос возобновлен") : QStringLiteral("Опрос остановлен"));
}

void TStatusPanels::BindPublisher()
{
    const TPublisher* publisher = Publisher();
    // Without publishing the status bar stays as it always was.
    if (!publisher) {
        if (BrokerPanel_)
            BrokerPanel_->hide();
        return;
    }
    if (!BrokerPanel_) {
        BrokerPanel_ = new QLabel(Bar_);
        BrokerPanel_->setObjectName(QStringLiteral("StatusPanelBroker"));
        BrokerPanel_->setMinimumWidth(130);
        BrokerPanel_->setFrameShape(QFrame::Panel);
        BrokerPanel_->setFrameShadow(QFrame::Sunken);
        // Before the hint, which takes the room left.
        Bar_->insertWidget(HintIndex_++, BrokerPanel_);
    }
    BrokerPanel_->show();
    BrokerPanel_->setText(BrokerPanelText(publisher->State()));
    BrokerPanel_->setToolTip(BrokerToolTip(*publisher, QString()));
}

void TStatusPanels::ShowBrokerState(TBrokerState state, const QString& reason)
{
    if (!BrokerPanel_)
        return;
    BrokerPanel_->setText(BrokerPanelText(state));
    if (const TPublisher* publisher = Publisher())
        BrokerPanel_->setToolTip(BrokerToolTip(*publisher, reason));
}

void TStatusPanels::WatchLogs()
{
    LogTrouble_ = std::make_unique<TLogTroubleView>(Bar_);
}
