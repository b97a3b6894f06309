#include "app/FormMain.h"

#include "common/OperatorMessage.h"
#include "dialogs/FormMqttSettings.h"
#include "publish/Publisher.h"
#include "publish/PublishUnit.h"
#include "station/Station.h"
#include "station/StationUnits.h"

#include "ui_FormMain.h"

#include <QAction>
#include <QLabel>

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
    BrokerPanel_->setText(BrokerPanelText(publisher->State()));
    BrokerPanel_->setToolTip(publisher->Settings().Host + u':' + QString::number(publisher->Settings().Port));
}

void TFormMain::ShowBrokerState(TBrokerState state, const QString& reason)
{
    if (BrokerPanel_) {
        BrokerPanel_->setText(BrokerPanelText(state));
        if (TPublisher* publisher = Publisher())
            BrokerPanel_->setToolTip(publisher->Settings().Host + u':' + QString::number(publisher->Settings().Port)
                                     + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    }
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
    RestartRecording();
    if (Station_)
        Station_->PublishingRestarted();
    BindPublisher();
}
