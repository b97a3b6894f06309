// Reads the terminal back through termios2, so this file stays clear of <termios.h>.
#include "transport/DeviceControlBlock.h"

#include "PtyPeer.h"

#include <QFile>

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

class LineTermios : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fd_ = open(QFile::encodeName(Peer_.SlavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(Fd_, 0);
    }
    void TearDown() override { close(Fd_); }

    termios2 Read() const
    {
        termios2 t{};
        EXPECT_EQ(ioctl(Fd_, TCGETS2, &t), 0);
        return t;
    }

    TPtyPeer Peer_;
    int Fd_ = -1;
};

}  // namespace

TEST_F(LineTermios, RawLineWithTheBlocksFraming)
{
    TDeviceControlBlock dcb;
    dcb.BaudRate = 14400;  // no Bxxx constant: goes as a free rate
    dcb.Parity = 3;  // mark
    dcb.StopBits = 2;
    dcb.Flags |= TDeviceControlBlock::fOutX | TDeviceControlBlock::fInX;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    ASSERT_EQ(ApplyDeviceControlBlock(Fd_, dcb), 0);
    termios2 t = Read();
    EXPECT_EQ(t.c_ospeed, 14400u);
    // A pseudo-terminal keeps 8 bits without parity whatever it is told; the rest it keeps.
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), unsigned(PARODD | CMSPAR));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_iflag, unsigned(IXON | IXOFF));
    EXPECT_EQ(t.c_lflag, 0u);  // no echo, no line editing, no signals
    EXPECT_EQ(t.c_oflag, 0u);
    EXPECT_EQ(t.c_cc[VSTART], 0x11);

    dcb.Parity = 4;  // space
    dcb.StopBits = 0;
    dcb.Flags = TDeviceControlBlock::fBinary | TDeviceControlBlock::fOutxCtsFlow | TDeviceControlBlock::fRtsHandshake;
    ASSERT_EQ(ApplyDeviceControlBlock(Fd_, dcb), 0);
    t = Read();
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), unsigned(CMSPAR));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_iflag, 0u);
}

TEST_F(LineTermios, WhatLinuxCannotDoIsRefusedAndChangesNothing)
{
    TDeviceControlBlock good;
    good.BaudRate = 9600;
    ASSERT_EQ(ApplyDeviceControlBlock(Fd_, good), 0);
    const termios2 before = Read();

    const auto refused = [&](auto change) {
        TDeviceControlBlock dcb = good;
        change(dcb);
        return ApplyDeviceControlBlock(Fd_, dcb) == EINVAL;
    };
    using D = TDeviceControlBlock;
    EXPECT_TRUE(refused([](D& d) { d.StopBits = 1; }));
    EXPECT_TRUE(refused([](D& d) { d.BaudRate = 0; }));
    EXPECT_TRUE(refused([](D& d) { d.BaudRate = static_cast<std::uint32_t>(-9600); }));
    EXPECT_TRUE(refused([](D& d) { d.ByteSize = 4; }));
    EXPECT_TRUE(refused([](D& d) { d.Parity = 5; }));
    EXPECT_TRUE(refused([](D& d) { d.Flags |= D::fOutxDsrFlow; }));
    EXPECT_TRUE(refused([](D& d) { d.Flags |= D::fNull; }));
    EXPECT_TRUE(refused([](D& d) { d.Flags |= D::fRtsToggle; }));
    EXPECT_TRUE(refused([](D& d) { d.Flags |= D::fOutxCtsFlow; }));  // CTS out without RTS in
    EXPECT_TRUE(refused([](D& d) { d.Flags |= D::fParity | D::fErrorChar; d.ErrorChar = '?'; }));
    EXPECT_FALSE(refused([](D& d) { d.Flags |= D::fParity | D::fErrorChar; }));  // replaced by zero

    ASSERT_EQ(ApplyDeviceControlBlock(Fd_, good), 0);
    const termios2 after = Read();
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
}

TEST(LineTermiosFile, ARegularFileIsNoTerminal)
{
    QFile file(QStringLiteral("/proc/self/status"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    TDeviceControlBlock dcb;
    dcb.BaudRate = 9600;
    EXPECT_EQ(ApplyDeviceControlBlock(file.handle(), dcb), ENOTTY);
}
