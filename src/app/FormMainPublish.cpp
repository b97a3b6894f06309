#include "app/FormMain.h"

#include "app/StatusPanels.h"
#include "common/OperatorMessage.h"
#include "dialogs/FormMqttSettings.h"
#include "publish/PublishUnit.h"
#include "publish/Publisher.h"
#include "station/Station.h"
#include "station/StationUnits.h"

#include "ui_FormMain.h"

#include <QAction>
#include <QLabel>

void TFormMain::SetupPublishing()
{
    auto* settings = new QAction(QStringLiteral("Публикация MQTT…"), Ui_->mmSettings);
    settings->setObjectName(QStringLiteral("miPublishing"));
    settings->setStatusTip(QStringLiteral("Публикация показаний, состояний и тревог на брокер MQTT"));
    Ui_->mmSettings->addAction(settings);
    connect(settings, &QAction::triggered, this, [this] { OpenPublishSettings(); });
    StatusPanels_->BindPublisher();
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
    StatusPanels_->BindPublisher();
}
