#include "DispatchSettings.h"
#include "Password.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(DispatchSettings, APageBeyondThisComputerNeedsAUserAndPassword)
{
    QTemporaryDir dir;
    TDispatchSettings s = ReadDispatchSettings(dir.path() + "/INI/Dispatch.ini");  // none: the defaults
    QString reason;
    EXPECT_TRUE(ValidateDispatchSettings(s).isEmpty()) << ValidateDispatchSettings(s).toStdString();
    EXPECT_TRUE(s.ListenAddress.isLoopback());
    ASSERT_TRUE(SetListen(s, "0.0.0.0:8780", reason));
    EXPECT_TRUE(ValidateDispatchSettings(s).contains("--set-password"));
    s.User = "disp";
    s.PasswordHash = HashPassword("секрет-пароль");
    EXPECT_TRUE(ValidateDispatchSettings(s).isEmpty());
    ASSERT_TRUE(SetListen(s, "[::1]:9000", reason));
    EXPECT_TRUE(s.ListenAddress.isLoopback());
    EXPECT_EQ(s.ListenPort, 9000);
    for (const char* bad : {"8780", "host:8780", "127.0.0.1:0", "127.0.0.1:x"})
        EXPECT_FALSE(SetListen(s, bad, reason)) << bad;
    EXPECT_FALSE(SetBroker(s, ":1883", reason));
    EXPECT_TRUE(SetBroker(s, "broker.local", reason));
    EXPECT_EQ(s.Broker.Port, 1883);
}

TEST(DispatchSettings, ThePasswordIsKeptAsASaltedHash)
{
    const QString a = HashPassword("секрет-пароль"), b = HashPassword("секрет-пароль");
    EXPECT_NE(a, b);
    EXPECT_FALSE(a.contains("секрет"));
    EXPECT_TRUE(CheckPassword("секрет-пароль", a));
    EXPECT_FALSE(CheckPassword("секрет-парол", a));
    EXPECT_FALSE(CheckPassword("", a));
    for (const QString& stored : {QString(), QString("секрет-пароль"), QString("pbkdf2-sha256$1$00$00"),
                                  a.section('$', 0, 2) + "$"})
        EXPECT_FALSE(CheckPassword("секрет-пароль", stored)) << stored.toStdString();

    QTemporaryDir dir;
    const QString path = dir.path() + "/INI/Dispatch.ini";
    QString error;
    ASSERT_TRUE(SavePassword(path, "disp", a, &error)) << error.toStdString();
    const TDispatchSettings s = ReadDispatchSettings(path);
    EXPECT_EQ(s.User, "disp");
    EXPECT_TRUE(CheckPassword("секрет-пароль", s.PasswordHash));
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadOther | QFile::ReadGroup), 0);
}
