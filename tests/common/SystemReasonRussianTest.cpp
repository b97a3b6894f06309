#include "common/SystemReason.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>

// Under the operator's locale the system words its errors in Russian while the toolkit words a
// few of them itself in English: both are recognised.
TEST(SystemReasonRussian, TheSystemsAndTheToolkitsWordsAreBothRecognised)
{
    std::setlocale(LC_ALL, "");
    EXPECT_EQ(RussianReason(QStringLiteral("Permission denied")), QStringLiteral("нет доступа (Permission denied)"));
    const QString system = QString::fromLocal8Bit(std::strerror(ENOSPC));
    EXPECT_EQ(RussianReason(system), QStringLiteral("диск переполнен (") + system + u')');
    std::setlocale(LC_ALL, "C");
}
