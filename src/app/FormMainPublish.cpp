#include "app/FormMain.h"

#include "common/OperatorMessage.h"
#include "dialogs/FormMqttSettings.h"
#include "history/HistoryUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "publish/Publisher.h"
#include "publish/PublishUnit.h"

#include "ui_FormMain.h"

#include <QAction>
#include <QLabel>
#include <QPointer>

namespace {

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

}  // namespace

void TFormMain::SetupPublishing()
{
    auto* settings = new QAction(QStringLiteral("Публикация MQTT…"), Ui_->mmSettings);
    settings->setObjectName(QStringLiteral("miPublishing"));
    settings->setStatusTip(QStringLiteral("Публикация показаний, состояний и тревог на брокер MQTT"));
    Ui_->mmSettings->addAction(settings);
    connect(settings, &QAction::triggered, this, [this] { OpenPublishSettings(); });
    BindPublisher();
}

void TFormMain::BindPublisher()
{
    TPublisher* publisher = Publisher();
    // Without publishing the status bar stays as it always was.
    if (!publisher) {
        if (BrokerPanel_)
            BrokerPanel_->hide();
        return;
    }
    if (!BrokerPanel_) {
        BrokerPanel_ = new QLabel(Ui_->StatusBarMain);
        BrokerPanel_->setObjectName(QStringLiteral("StatusPanelBroker"));
        BrokerPanel_->setMinimumWidth(130);
        BrokerPanel_->setFrameShape(QFrame::Panel);
        BrokerPanel_->setFrameShadow(QFrame::Sunken);
        Ui_->StatusBarMain->addWidget(BrokerPanel_);
    }
    BrokerPanel_->show();
    BrokerOffline_ = false;
    BrokerPanel_->setText(BrokerPanelText(publisher->State()));
    BrokerPanel_->setToolTip(publisher->Settings().Host + u':' + QString::number(publisher->Settings().Port));
    QPointer<TFormMain> self(this);
    publisher->OnState = [self](TBrokerState state, const QString& reason) {
        if (self)
            self->ShowBrokerState(state, reason);
    };
}

void TFormMain::ShowBrokerState(TBrokerState state, const QString& reason)
{
    if (BrokerPanel_) {
        BrokerPanel_->setText(BrokerPanelText(state));
        if (TPublisher* publisher = Publisher())
            BrokerPanel_->setToolTip(publisher->Settings().Host + u':' + QString::number(publisher->Settings().Port)
                                     + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    }
    // One line when the broker is lost and one when it is back; retries between say nothing.
    const bool offline = state == TBrokerState::Offline;
    if (offline == BrokerOffline_ || state == TBrokerState::Connecting)
        return;
    BrokerOffline_ = offline;
    if (TAlarm* alarm = AlarmLog())
        alarm->WriteLine(offline ? QStringLiteral("Нет соединения с брокером MQTT: ") + reason
                                 : QStringLiteral("Соединение с брокером MQTT восстановлено"));
}

void TFormMain::OpenPublishSettings()
{
    TFormMqttSettings dialog(ReadMqttSettings(MqttSettingsPath()), this);
    dialog.setObjectName(QStringLiteral("FormMqttSettings"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TMqttSettings settings = dialog.Settings();
    QString error;
    if (!WriteMqttSettings(MqttSettingsPath(), settings, &error)) {
        ShowMessage(kCaptionError, QStringLiteral("Не удалось сохранить настройки публикации.\r") + error,
                    TMessageIcon::Error);
        return;
    }
    // The history keeps the outbox only while publishing: both start again with the new settings.
    HistoryShutdown();
    PublishShutdown();
    HistoryStartup(settings.Enabled);
    PublishStartup();
    BindPublisher();
}
