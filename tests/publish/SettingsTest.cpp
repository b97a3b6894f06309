#include "TestFolder.h"

#include "publish/MqttSettings.h"

#include <QFile>
#include <QSysInfo>

namespace {

TEST(MqttSettings, MissingFileMeansOffWithTheDocumentedDefaults)
{
    TestFolder folder;
    const TMqttSettings s = ReadMqttSettings(MqttSettingsPath());
    EXPECT_FALSE(s.Enabled);
    EXPECT_EQ(s.Port, 1883);
    EXPECT_EQ(s.Root, "orvela");
    EXPECT_EQ(s.Station, QSysInfo::machineHostName());
    EXPECT_FALSE(s.Tls());
    EXPECT_EQ(ValidateMqttSettings(s), "");
}

TEST(MqttSettings, WrittenSettingsReadBackAndAPasswordFileIsTheOwnersAlone)
{
    TestFolder folder;
    TMqttSettings s;
    s.Enabled = true;
    s.Host = "broker.example";
    s.Port = 8883;
    s.Station = "Элеватор-2";
    s.Root = "plant/silos";
    s.User = "station";
    s.Password = "s3cret";
    s.KeepAlive = 60;
    ASSERT_TRUE(WriteMqttSettings(MqttSettingsPath(), s));
    QString warning;
    const TMqttSettings r = ReadMqttSettings(MqttSettingsPath(), &warning);
    EXPECT_TRUE(r.Enabled);
    EXPECT_EQ(r.Host, s.Host);
    EXPECT_EQ(r.Port, 8883);
    EXPECT_EQ(r.Station, s.Station);
    EXPECT_EQ(r.TopicPrefix(), "plant/silos/Элеватор-2/");
    EXPECT_EQ(r.Password, "s3cret");
    EXPECT_EQ(r.KeepAlive, 60);
    EXPECT_EQ(warning, "");

    // Made readable by others, it is still used, with a warning that does not show the password.
    QFile::setPermissions(MqttSettingsPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const TMqttSettings opened = ReadMqttSettings(MqttSettingsPath(), &warning);
    EXPECT_EQ(opened.Password, "s3cret");
    EXPECT_TRUE(warning.contains("доступен для чтения")) << warning.toStdString();
    EXPECT_FALSE(warning.contains("s3cret"));
}

TEST(MqttSettings, ValidationNamesWhatIsWrong)
{
    TMqttSettings s;
    s.Enabled = true;
    s.Host = "127.0.0.1";
    s.Station = "line1";
    EXPECT_EQ(ValidateMqttSettings(s), "");
    const auto with = [&](auto change) {
        TMqttSettings t = s;
        change(t);
        return ValidateMqttSettings(t);
    };
    // Wildcards in a topic would publish to, or cover, other stations.
    EXPECT_NE(with([](TMqttSettings& t) { t.Station = "line/1"; }), "");
    EXPECT_NE(with([](TMqttSettings& t) { t.Station = "#"; }), "");
    EXPECT_NE(with([](TMqttSettings& t) { t.Root = "a//b"; }), "");
    // The broker's own topics; a name too long for a topic level and a client name.
    EXPECT_TRUE(with([](TMqttSettings& t) { t.Root = "$SYS/x"; }).contains("«$»"));
    EXPECT_EQ(with([](TMqttSettings& t) { t.Station = QString(128, QChar(0x44F)); }), "");
    EXPECT_TRUE(with([](TMqttSettings& t) { t.Station = QString(129, QChar(0x44F)); }).contains("256 байт"));
    EXPECT_NE(with([](TMqttSettings& t) { t.Host.clear(); }), "");
    EXPECT_NE(with([](TMqttSettings& t) { t.Password = "x"; }), "");
    EXPECT_TRUE(with([](TMqttSettings& t) { t.CAFile = "/nonexistent/ca.crt"; }).contains("/nonexistent/ca.crt"));
    EXPECT_NE(with([](TMqttSettings& t) { t.KeepAlive = 1; }), "");
    // Off, only the names matter.
    s.Enabled = false;
    s.Host.clear();
    EXPECT_EQ(ValidateMqttSettings(s), "");
}

}  // namespace
