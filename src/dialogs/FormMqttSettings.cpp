#include "dialogs/FormMqttSettings.h"

#include "publish/MqttConnection.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>

#include <memory>

TFormMqttSettings::TFormMqttSettings(const TMqttSettings& s, QWidget* parent) : QDialog(parent), Given_(s)
{
    setWindowTitle(QStringLiteral("Публикация MQTT"));
    auto* form = new QFormLayout;
    Enabled_ = new QCheckBox(QStringLiteral("Публиковать показания, состояния и тревоги"), this);
    Enabled_->setObjectName(QStringLiteral("cbEnabled"));
    Enabled_->setChecked(s.Enabled);
    form->addRow(Enabled_);
    const auto line = [&](const QString& caption, const QString& name, const QString& value) {
        auto* edit = new QLineEdit(value, this);
        edit->setObjectName(name);
        form->addRow(caption, edit);
        return edit;
    };
    Host_ = line(QStringLiteral("Брокер (узел):"), QStringLiteral("edHost"), s.Host);
    Port_ = new QSpinBox(this);
    Port_->setObjectName(QStringLiteral("edPort"));
    Port_->setRange(1, 65535);
    Port_->setValue(s.Port);
    form->addRow(QStringLiteral("Порт:"), Port_);
    Station_ = line(QStringLiteral("Имя станции:"), QStringLiteral("edStation"), s.Station);
    Root_ = line(QStringLiteral("Корневой раздел:"), QStringLiteral("edRoot"), s.Root);
    User_ = line(QStringLiteral("Пользователь:"), QStringLiteral("edUser"), s.User);
    Password_ = line(QStringLiteral("Пароль:"), QStringLiteral("edPassword"), s.Password);
    Password_->setEchoMode(QLineEdit::Password);
    const auto file = [&](const QString& caption, const QString& placeholder, const QString& name,
                          const QString& value) {
        QLineEdit* edit = FileField(placeholder);
        edit->setObjectName(name);
        edit->setText(value);
        auto* browse = new QPushButton(QStringLiteral("…"), this);
        browse->setFixedWidth(30);
        connect(browse, &QPushButton::clicked, this, [this, edit, caption] {
            const QString path = QFileDialog::getOpenFileName(this, caption, edit->text());
            if (!path.isEmpty())
                edit->setText(path);
        });
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(browse);
        form->addRow(caption, row);
        return edit;
    };
    CAFile_ = file(QStringLiteral("Сертификат центра (TLS):"), QStringLiteral("не задан: без TLS"),
                   QStringLiteral("edCAFile"), s.CAFile);
    CertFile_ = file(QStringLiteral("Сертификат клиента:"), QStringLiteral("не задан"), QStringLiteral("edCertFile"),
                     s.CertFile);
    KeyFile_ = file(QStringLiteral("Ключ клиента:"), QStringLiteral("не задан"), QStringLiteral("edKeyFile"), s.KeyFile);
    KeepAlive_ = new QSpinBox(this);
    KeepAlive_->setObjectName(QStringLiteral("edKeepAlive"));
    KeepAlive_->setRange(5, 3600);
    KeepAlive_->setSuffix(QStringLiteral(" с"));
    KeepAlive_->setValue(s.KeepAlive);
    form->addRow(QStringLiteral("Проверка связи:"), KeepAlive_);

    Check_ = new QPushButton(QStringLiteral("Проверить соединение"), this);
    Check_->setObjectName(QStringLiteral("btCheck"));
    Result_ = new QLabel(this);
    Result_->setObjectName(QStringLiteral("lbResult"));
    Result_->setWordWrap(true);
    form->addRow(Check_, Result_);
    connect(Check_, &QPushButton::clicked, this, [this] { StartCheck(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    setLayout(form);
}

QLineEdit* TFormMqttSettings::FileField(const QString& placeholder)
{
    auto* edit = new QLineEdit(this);
    edit->setPlaceholderText(placeholder);
    // A typical full path stays readable.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("/etc/orvela/tls/orvela-ca.crt")) + 16);
    return edit;
}

TMqttSettings TFormMqttSettings::Settings() const
{
    TMqttSettings s = Given_;
    s.Enabled = Enabled_->isChecked();
    s.Host = Host_->text().trimmed();
    s.Port = Port_->value();
    s.Station = Station_->text().trimmed();
    s.Root = Root_->text().trimmed();
    s.User = User_->text();
    s.Password = Password_->text();
    s.CAFile = CAFile_->text().trimmed();
    s.CertFile = CertFile_->text().trimmed();
    s.KeyFile = KeyFile_->text().trimmed();
    s.KeepAlive = KeepAlive_->value();
    return s;
}

QString TFormMqttSettings::CheckResult() const { return Result_->text(); }

void TFormMqttSettings::accept()
{
    const QString invalid = ValidateMqttSettings(Settings());
    if (!invalid.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Публикация MQTT"), invalid);
        return;
    }
    QDialog::accept();
}

void TFormMqttSettings::StartCheck()
{
    Check_->setEnabled(false);
    Result_->setText(QStringLiteral("Проверка…"));
    auto check = std::make_shared<TMqttCheck>();
    const TMqttSettings settings = Settings();
    // The thread outlives a dialog closed meanwhile and deletes itself.
    QThread* worker = QThread::create([settings, check] { *check = CheckMqttConnection(settings); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    QPointer<TFormMqttSettings> self(this);
    connect(worker, &QThread::finished, this, [self, check] {
        if (!self)
            return;
        self->Check_->setEnabled(true);
        switch (check->Outcome) {
        case TMqttCheck::Accepted:
            self->Result_->setText(QStringLiteral("Соединение установлено."));
            break;
        case TMqttCheck::BadSettings:
            self->Result_->setText(QStringLiteral("Ошибка в настройках: ") + check->Reason);
            break;
        case TMqttCheck::Failed:
            self->Result_->setText(QStringLiteral("Нет соединения: ") + check->Reason + u'.');
            break;
        }
        // A reason of several lines is shown whole.
        self->adjustSize();
    });
    worker->start();
}
