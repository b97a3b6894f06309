#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

TPtyPeer::TPtyPeer() : Master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
{
    EXPECT_GE(Master_, 0);
    EXPECT_EQ(grantpt(Master_), 0);
    EXPECT_EQ(unlockpt(Master_), 0);
    char name[128] = {};
    EXPECT_EQ(ptsname_r(Master_, name, sizeof name), 0);
    SlavePath_ = QString::fromLocal8Bit(name);
}

TPtyPeer::~TPtyPeer()
{
    Close();
}

void TPtyPeer::Write(const QByteArray& bytes)
{
    ASSERT_EQ(write(Master_, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
}

QByteArray TPtyPeer::Read(qsizetype count, std::chrono::milliseconds deadline)
{
    using TClock = std::chrono::steady_clock;
    const TClock::time_point end = TClock::now() + deadline;
    QByteArray bytes;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - TClock::now()).count();
        pollfd fd = {Master_, POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0)
            break;
        char buffer[512];
        const ssize_t got = read(Master_, buffer, std::min<size_t>(sizeof buffer, static_cast<size_t>(count - bytes.size())));
        if (got <= 0)
            break;
        bytes.append(buffer, got);
    }
    return bytes;
}

void TPtyPeer::Close()
{
    if (Master_ >= 0)
        close(Master_);
    Master_ = -1;
}
