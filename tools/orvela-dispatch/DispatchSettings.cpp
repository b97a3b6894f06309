#include "DispatchSettings.h"

#include "common/IniFile.h"
#include "common/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kWeb = QStringLiteral("Web");
const QString kAlerts = QStringLiteral("Alerts");

QStringList List(const QString& text)
{
    QStringList items;
    for (const QString& item : text.split(u',', Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    return items;
}

bool Port(const QString& text, int& port)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 1 || n > 65535)
        return false;
    port = n;
    return true;
}

QString Missing(const QString& file, const QString& what)
{
    return QStringLiteral("Файл %1 «%2» не найден.").arg(what, QDir::toNativeSeparators(file));
}

}  // namespace

QString DispatchSettingsPath() { return ProgramFolder() + QStringLiteral("INI/Dispatch.ini"); }

TDispatchSettings ReadDispatchSettings(const QString& path)
{
    TDispatchSettings s;
    s.Broker = ReadMqttSettings(path);
    s.Broker.Enabled = true;
    if (s.Broker.Host.isEmpty())
        s.Broker.Host = QStringLiteral("127.0.0.1");
    const TIniFile ini(path);
    if (QString reason; !SetListen(s, ini.ReadString(kWeb, QStringLiteral("Listen"), QStringLiteral("127.0.0.1:8780")), reason))
        s.FileFault = QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason;
    s.User = ini.ReadString(kWeb, QStringLiteral("User"), QString()).trimmed();
    s.PasswordHash = ini.ReadString(kWeb, QStringLiteral("PasswordHash"), QString()).trimmed();
    s.CertFile = ini.ReadString(kWeb, QStringLiteral("CertFile"), QString()).trimmed();
    s.KeyFile = ini.ReadString(kWeb, QStringLiteral("KeyFile"), QString()).trimmed();
    s.StaleMinutes = ini.ReadInteger(QStringLiteral("Stations"), QStringLiteral("StaleMinutes"), s.StaleMinutes, 1, 7 * 24 * 60);
    s.AlertCommand = ini.ReadString(kAlerts, QStringLiteral("Command"), QString()).trimmed();
    s.AlertKinds = List(ini.ReadString(kAlerts, QStringLiteral("Kinds"), QString()));
    s.AlertStations = List(ini.ReadString(kAlerts, QStringLiteral("Stations"), QString()));
    s.AlertRetrySeconds = ini.ReadInteger(kAlerts, QStringLiteral("RetrySeconds"), s.AlertRetrySeconds, 1, 3600);
    return s;
}

bool SetBroker(TDispatchSettings& s, const QString& text, QString& reason)
{
    const QString host = text.section(u':', 0, 0).trimmed();
    if (host.isEmpty()) {
        reason = QStringLiteral("Укажите адрес брокера: HOST[:PORT].");
        return false;
    }
    int port = 1883;
    if (text.contains(u':') && !Port(text.section(u':', 1), port)) {
        reason = QStringLiteral("Порт брокера должен быть в пределах 1..65535.");
        return false;
    }
    s.Broker.Host = host;
    s.Broker.Port = port;
    return true;
}

bool SetListen(TDispatchSettings& s, const QString& text, QString& reason)
{
    // An IPv6 address is written in brackets: [::1]:8780.
    const qsizetype colon = text.lastIndexOf(u':');
    QString address = colon < 0 ? QString() : text.left(colon).trimmed();
    if (address.startsWith(u'[') && address.endsWith(u']'))
        address = address.mid(1, address.size() - 2);
    QHostAddress host;
    int port = 0;
    if (colon < 0 || !host.setAddress(address) || !Port(text.mid(colon + 1), port)) {
        reason = QStringLiteral("Адрес страницы «%1» не распознан: нужен IP-адрес и порт, например 127.0.0.1:8780.").arg(text);
        return false;
    }
    s.ListenAddress = host;
    s.ListenPort = port;
    return true;
}

QString ValidateDispatchSettings(const TDispatchSettings& s)
{
    if (!s.FileFault.isEmpty())
        return s.FileFault;
    if (const QString broker = ValidateMqttSettings(s.Broker); !broker.isEmpty())
        return broker;
    if (!s.ListenAddress.isLoopback() && (s.User.isEmpty() || s.PasswordHash.isEmpty()))
        return QStringLiteral("Страница на адресе %1 доступна не только с этого компьютера: задайте пользователя и "
                              "пароль (orvela-dispatch --set-password) или оставьте адрес 127.0.0.1.")
            .arg(s.ListenAddress.toString());
    if (s.User.isEmpty() != s.PasswordHash.isEmpty())
        return QStringLiteral("Пользователь страницы задан без пароля: задайте оба (orvela-dispatch --set-password).");
    if (s.CertFile.isEmpty() != s.KeyFile.isEmpty())
        return QStringLiteral("Сертификат и ключ страницы (HTTPS) задаются вместе.");
    if (!s.CertFile.isEmpty() && !QFileInfo::exists(s.CertFile))
        return Missing(s.CertFile, QStringLiteral("сертификата страницы"));
    if (!s.KeyFile.isEmpty() && !QFileInfo::exists(s.KeyFile))
        return Missing(s.KeyFile, QStringLiteral("ключа страницы"));
    return QString();
}

bool SavePassword(const QString& path, const QString& user, const QString& hash, QString* error)
{
    TIniFile ini(path);
    ini.WriteString(kWeb, QStringLiteral("User"), user);
    ini.WriteString(kWeb, QStringLiteral("PasswordHash"), hash);
    if (!ini.Save(error))
        return false;
    // A hash is no password, but nobody else needs to try words against it.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}
