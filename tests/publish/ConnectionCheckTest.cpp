#include "Broker.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>

namespace {

// "orvela-cli mqtt test" with the program folder's INI/MQTT.ini: the exit code and all it said.
class ConnectionCheck : public ::testing::Test
{
protected:
    std::pair<int, QString> Check(const QString& ini)
    {
        Folder.Write("INI/MQTT.ini", ini.toUtf8());
        QProcess cli;
        cli.start(QString::fromStdString(CliExecutable()), {"mqtt", "test"});
        EXPECT_TRUE(cli.waitForFinished(60000));
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput() + cli.readAllStandardError())};
    }

    // Every file the program wrote in its folder.
    QByteArray Written() const
    {
        QByteArray all;
        for (QDirIterator it(Folder.Path("LOG"), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly))
                all += f.readAll();
        }
        return all;
    }

    TestFolder Folder;
};

TEST_F(ConnectionCheck, PlainFailuresAreNamedInRussian)
{
    Broker server;  // not started: nothing listens on its port
    auto [code, text] = Check(QString::fromUtf8(MqttIni(server.Port(), "s")));
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(text.contains("соединение отвергнуто")) << text.toStdString();

    std::tie(code, text) = Check("[MQTT]\r\nHost=no-such-host.invalid\r\n");
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(text.contains("узел «no-such-host.invalid» не найден")) << text.toStdString();

    ASSERT_TRUE(server.Start());
    std::tie(code, text) = Check(QString::fromUtf8(MqttIni(server.Port(), "s")));
    EXPECT_EQ(code, 0) << text.toStdString();
    EXPECT_TRUE(text.contains("установлено"));
}

TEST_F(ConnectionCheck, TlsWorksWithTheRightCaAndFailsWithTheReasonOtherwiseAndThePasswordStaysUnwritten)
{
    Broker server({.Tls = true, .User = "station", .Password = "Pw-7xq!secret"});
    ASSERT_TRUE(server.Start());
    const QString base = QString::fromUtf8(MqttIni(server.Port(), "s")).replace("127.0.0.1", "localhost");

    auto [code, text] = Check(base + "User=station\r\nPassword=Pw-7xq!secret\r\nCAFile=" + server.CaFile() + "\r\n");
    EXPECT_EQ(code, 0) << text.toStdString();

    std::tie(code, text) = Check(base + "User=station\r\nPassword=wrong-one\r\nCAFile=" + server.CaFile() + "\r\n");
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(text.contains("неверное имя пользователя или пароль")) << text.toStdString();
    EXPECT_FALSE(text.contains("wrong-one"));

    const QString otherCa = Folder.Path("other-ca.crt");
    ASSERT_TRUE(MakeSelfSignedCa(otherCa, Folder.Path("other-ca.key")));
    std::tie(code, text) = Check(base + "User=station\r\nPassword=Pw-7xq!secret\r\nCAFile=" + otherCa + "\r\n");
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(text.contains("сертификат брокера не признан доверенным: он подписан не тем центром")) << text.toStdString();
    EXPECT_FALSE(text.contains("Pw-7xq!secret"));
    EXPECT_FALSE(Written().contains("Pw-7xq!secret"));
}

TEST_F(ConnectionCheck, TlsFailuresSayWhetherTheCertificateExpiredThePortHasNoTlsOrTheSettingsAreWrong)
{
    Broker expired({.Tls = true, .User = {}, .Password = {}, .Expired = true});
    ASSERT_TRUE(expired.Start());
    const auto tls = [](const Broker& b, const QString& ca) {
        return QString::fromUtf8(MqttIni(b.Port(), "s")).replace("127.0.0.1", "localhost") + "CAFile=" + ca + "\r\n";
    };
    auto [code, text] = Check(tls(expired, expired.CaFile()));
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(text.contains("срок его действия истек")) << text.toStdString();

    Broker plain;
    ASSERT_TRUE(plain.Start());
    std::tie(code, text) = Check(tls(plain, expired.CaFile()));
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(text.contains("брокер не отвечает по TLS")) << text.toStdString();

    // Not a certificate: the settings are wrong, whatever the broker.
    Folder.Write("not-a-ca.crt", "-----BEGIN NOTHING-----\n");
    std::tie(code, text) = Check(tls(expired, Folder.Path("not-a-ca.crt")));
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(text.startsWith("Ошибка в настройках MQTT")) << text.toStdString();
    EXPECT_TRUE(text.contains("not-a-ca.crt")) << text.toStdString();
}

}  // namespace
