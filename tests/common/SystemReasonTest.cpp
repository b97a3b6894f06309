#include "common/OperatorMessage.h"
#include "common/SystemReason.h"
#include "common/TextFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

// The reasons the operator meets come first in Russian; the system's words stay as a detail.
TEST(SystemReason, CommonFailuresAreToldInRussianWithTheSystemTextLast)
{
    const QString full = RussianReason(ENOSPC);
    EXPECT_EQ(full, QStringLiteral("диск переполнен (%1)").arg(QString::fromLocal8Bit(std::strerror(ENOSPC))));
    EXPECT_TRUE(RussianReason(EACCES).startsWith(QStringLiteral("нет доступа (")));
    EXPECT_TRUE(RussianReason(EBUSY).startsWith(QStringLiteral("файл занят другой программой (")));
    EXPECT_TRUE(RussianReason(ENOENT).startsWith(QStringLiteral("файл или папка не найдены (")));
    EXPECT_TRUE(RussianReason(EPROTO).startsWith(QStringLiteral("системная ошибка ")));
}

TEST(SystemReason, TheToolkitsFileErrorsAreRecognisedByTheirText)
{
    QFile device(QStringLiteral("/dev/full"));
    if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        GTEST_SKIP() << "no /dev/full here";
    EXPECT_EQ(device.write("x", 1), -1);
    EXPECT_TRUE(RussianReason(device.errorString()).startsWith(QStringLiteral("диск переполнен (")))
        << RussianReason(device.errorString()).toStdString();

    QTemporaryDir folder;
    QString error;
    EXPECT_FALSE(ReplaceFile(folder.filePath(QStringLiteral("missing/file.txt")), "text", &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("файл или папка не найдены ("))) << error.toStdString();
    EXPECT_EQ(RussianReason(QString()), QStringLiteral("неизвестная ошибка"));
}

TEST(OperatorMessage, APrintedMessageKeepsABlankWhereTheBoxBreaksTheLine)
{
    testing::internal::CaptureStderr();
    ShowMessage(QStringLiteral("Внимание"), QStringLiteral("История показаний не ведется.\rНе удалось"),
                TMessageIcon::Warning);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Внимание: История показаний не ведется. Не удалось\n");
}

}  // namespace
