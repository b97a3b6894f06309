#include "publish/MqttSettings.h"

#include "common/IniFile.h"
#include "common/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

namespace {

const QString kSection = QStringLiteral("MQTT");
constexpr int kMaxOutboxLimit = 1'000'000'000;
// A station's name is part of every topic and of the client's name at the broker.
constexpr int kMaxStationBytes = 256;

// A topic level: no separators or wildcards, not empty.
bool IsTopicLevel(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'+') && !name.contains(u'#')
           && !name.contains(QChar(0));
}

QString Missing(const QString& file, const QString& what)
{
    return QStringLiteral("Файл %1 «%2» не найден.").arg(what, QDir::toNativeSeparators(file));
}

}  // namespace

QString MqttSettingsPath() { return ProgramFolder() + QStringLiteral("INI/MQTT.ini"); }

TMqttSettings ReadMqttSettings(const QString& path, QString* warning)
{
    const TIniFile ini(path);
    TMqttSettings s;
    s.Enabled = ini.ReadInteger(kSection, QStringLiteral("Enabled"), 0) == 1;
    s.Host = ini.ReadString(kSection, QStringLiteral("Host"), QString()).trimmed();
    const int port = ini.ReadInteger(kSection, QStringLiteral("Port"), s.Port);
    s.Port = port >= 1 && port <= 65535 ? port : 1883;
    s.Station = ini.ReadString(kSection, QStringLiteral("Station"), QString()).trimmed();
    if (s.Station.isEmpty())
        s.Station = QSysInfo::machineHostName();
    s.Root = ini.ReadString(kSection, QStringLiteral("Root"), s.Root).trimmed();
    if (s.Root.isEmpty())
        s.Root = QStringLiteral("orvela");
    s.User = ini.ReadString(kSection, QStringLiteral("User"), QString());
    s.Password = ini.ReadString(kSection, QStringLiteral("Password"), QString());
    s.CAFile = ini.ReadString(kSection, QStringLiteral("CAFile"), QString()).trimmed();
    s.CertFile = ini.ReadString(kSection, QStringLiteral("CertFile"), QString()).trimmed();
    s.KeyFile = ini.ReadString(kSection, QStringLiteral("KeyFile"), QString()).trimmed();
    const int keepAlive = ini.ReadInteger(kSection, QStringLiteral("KeepAlive"), s.KeepAlive);
    s.KeepAlive = keepAlive >= 5 && keepAlive <= 3600 ? keepAlive : 30;
    s.Heartbeat = ini.ReadInteger(kSection, QStringLiteral("Heartbeat"), s.Heartbeat, 1, 30);
    s.OutboxLimit = ini.ReadInteger(kSection, QStringLiteral("OutboxLimit"), s.OutboxLimit, 1000, kMaxOutboxLimit);
    if (warning && !s.Password.isEmpty()
        && (QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup))) {
        *warning = QStringLiteral("Файл «%1» хранит пароль брокера MQTT и доступен для чтения другим "
                                  "пользователям. Оставьте право чтения только владельцу (chmod 600).")
                       .arg(QDir::toNativeSeparators(path));
    }
    return s;
}

bool WriteMqttSettings(const QString& path, const TMqttSettings& s, QString* error)
{
    TIniFile ini(path);
    ini.WriteInteger(kSection, QStringLiteral("Enabled"), s.Enabled ? 1 : 0);
    ini.WriteString(kSection, QStringLiteral("Host"), s.Host);
    ini.WriteInteger(kSection, QStringLiteral("Port"), s.Port);
    ini.WriteString(kSection, QStringLiteral("Station"), s.Station);
    ini.WriteString(kSection, QStringLiteral("Root"), s.Root);
    ini.WriteString(kSection, QStringLiteral("User"), s.User);
    ini.WriteString(kSection, QStringLiteral("Password"), s.Password);
    ini.WriteString(kSection, QStringLiteral("CAFile"), s.CAFile);
    ini.WriteString(kSection, QStringLiteral("CertFile"), s.CertFile);
    ini.WriteString(kSection, QStringLiteral("KeyFile"), s.KeyFile);
    ini.WriteInteger(kSection, QStringLiteral("KeepAlive"), s.KeepAlive);
    ini.WriteInteger(kSection, QStringLiteral("Heartbeat"), s.Heartbeat);
    ini.WriteInteger(kSection, QStringLiteral("OutboxLimit"), s.OutboxLimit);
    if (!ini.Save(error))
        return false;
    // The password is nobody else's business.
    if (!s.Password.isEmpty())
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString ValidateMqttSettings(const TMqttSettings& s)
{
    if (!IsTopicLevel(s.Station))
        return QStringLiteral("Имя станции не должно быть пустым и не может содержать символы «/», «+» и «#».");
    if (s.Station.toUtf8().size() > kMaxStationBytes)
        return QStringLiteral("Имя станции длиннее %1 байт (в UTF-8): сократите его.").arg(kMaxStationBytes);
    const QStringList levels = s.Root.split(u'/');
    for (const QString& level : levels)
        if (!IsTopicLevel(level))
            return QStringLiteral("Корневой раздел не может быть пустым, содержать «+», «#» или пустые уровни.");
    // Such topics are the broker's own: a subscription to "#" never sees them.
    if (s.Root.startsWith(u'$'))
        return QStringLiteral("Корневой раздел не может начинаться с «$»: такие разделы брокер оставляет себе.");
    if (!s.Enabled)
        return QString();
    if (s.Host.isEmpty() || s.Host.contains(u' '))
        return QStringLiteral("Укажите адрес брокера (имя узла или IP-адрес).");
    if (s.Port < 1 || s.Port > 65535)
        return QStringLiteral("Порт брокера должен быть в пределах 1..65535.");
    if (s.KeepAlive < 5 || s.KeepAlive > 3600)
        return QStringLiteral("Интервал проверки связи должен быть в пределах 5..3600 с.");
    if (s.Password.size() > 0 && s.User.isEmpty())
        return QStringLiteral("Пароль задан без имени пользователя.");
    if (s.Tls() && !QFileInfo::exists(s.CAFile))
        return Missing(s.CAFile, QStringLiteral("сертификата центра"));
    if (!s.CertFile.isEmpty() && !QFileInfo::exists(s.CertFile))
        return Missing(s.CertFile, QStringLiteral("сертификата клиента"));
    if (!s.KeyFile.isEmpty() && !QFileInfo::exists(s.KeyFile))
        return Missing(s.KeyFile, QStringLiteral("ключа клиента"));
    if (s.CertFile.isEmpty() != s.KeyFile.isEmpty())
        return QStringLiteral("Сертификат и ключ клиента задаются вместе.");
    if ((!s.CertFile.isEmpty()) && !s.Tls())
        return QStringLiteral("Сертификат клиента используется только с TLS: укажите сертификат центра.");
    return QString();
}
