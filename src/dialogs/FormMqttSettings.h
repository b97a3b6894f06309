#pragma once

#include "publish/MqttSettings.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Публикация MQTT": the settings of INI/MQTT.ini. OK keeps them only when they are valid; the
// check runs on a thread of its own, so the window never waits on the network.
class TFormMqttSettings : public QDialog
{
public:
    explicit TFormMqttSettings(const TMqttSettings& settings, QWidget* parent = nullptr);

    TMqttSettings Settings() const;
    // What the last check said, "" while none has finished.
    QString CheckResult() const;
    QPushButton* CheckButton() const { return Check_; }

    void accept() override;

private:
    void StartCheck();
    QLineEdit* FileField(const QString& placeholder);

    QCheckBox* Enabled_;
    QLineEdit* Host_;
    QSpinBox* Port_;
    QLineEdit* Station_;
    QLineEdit* Root_;
    QLineEdit* User_;
    QLineEdit* Password_;
    QLineEdit* CAFile_;
    QLineEdit* CertFile_;
    QLineEdit* KeyFile_;
    QSpinBox* KeepAlive_;
    QPushButton* Check_;
    QLabel* Result_;
    // What the dialog does not show (the heartbeat, the outbox limit) stays as it was.
    TMqttSettings Given_;
};
