#include "transport/EComPort.h"
#include "transport/SerialPorts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

// A tty class folder and a device folder of our own making.
class FakeTree
{
public:
    FakeTree() : Old_(SetSerialPortRoots({Dir_.path() + QStringLiteral("/class"), Dir_.path() + QStringLiteral("/dev")})) {}
    ~FakeTree() { SetSerialPortRoots(Old_); }

    QString Path(const QString& relative) const { return Dir_.path() + u'/' + relative; }
    // A tty; with a device behind it when device is set.
    void AddTty(const QString& name, bool device) const
    {
        QDir().mkpath(Path(QStringLiteral("class/") + name + (device ? QStringLiteral("/device") : QString())));
    }
    void AddLink(const QString& name) const
    {
        QDir().mkpath(Path(QStringLiteral("dev/serial/by-id")));
        QFile::link(QStringLiteral("../../ttyUSB0"), Path(QStringLiteral("dev/serial/by-id/") + name));
    }
    void AddFile(const QString& relative) const
    {
        QDir().mkpath(QFileInfo(Path(relative)).absolutePath());
        QFile file(Path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

private:
    QTemporaryDir Dir_;
    TSerialPortRoots Old_;
};

QStringList Listed()
{
    QStringList ports{QStringLiteral("stale")};
    ListSerialPorts(ports);
    return ports;
}

int FailureCode()
{
    try {
        Listed();
    } catch (const EComPort& error) {
        EXPECT_EQ(error.ErrorNumber(), ecRegistry);
        return error.SystemCode();
    }
    ADD_FAILURE() << "no EComPort";
    return 0;
}

}  // namespace

TEST(SerialPorts, TtysWithADeviceAndByIdLinksInCaseInsensitiveOrder)
{
    FakeTree tree;
    for (const char* tty : {"ttyS0", "ttyS1", "ttyS9", "ttyUSB0", "ttyb", "ttyC"})
        tree.AddTty(QString::fromLatin1(tty), true);
    for (const char* tty : {"tty0", "console", "ptmx", "ttyS"})
        tree.AddTty(QString::fromLatin1(tty), false);
    // Without a by-id folder there are just no links.
    EXPECT_EQ(Listed(), QStringList({"COM1", "COM10", "COM2", "ttyb", "ttyC", "ttyUSB0"}));

    tree.AddLink(QStringLiteral("usb-FTDI_FT232R-if00-port0"));
    const QString link = tree.Path(QStringLiteral("dev/serial/by-id/usb-FTDI_FT232R-if00-port0"));
    EXPECT_EQ(Listed(), QStringList({link, "COM1", "COM10", "COM2", "ttyb", "ttyC", "ttyUSB0"}));
}

TEST(SerialPorts, AListThatCannotBeReadFailsAsNumber23)
{
    {
        FakeTree tree;  // no tty class folder at all
        EXPECT_EQ(FailureCode(), ENOENT);
        tree.AddFile(QStringLiteral("class"));
        EXPECT_EQ(FailureCode(), ENOTDIR);
    }
    {
        FakeTree tree;
        tree.AddTty(QStringLiteral("ttyS0"), true);
        tree.AddFile(QStringLiteral("dev/serial/by-id"));
        EXPECT_EQ(FailureCode(), ENOTDIR);
    }
    const EComPort error(ecRegistry, ENOENT);
    EXPECT_EQ(error.Message(), QStringLiteral("Registry error (win error code: 2)"));
}
