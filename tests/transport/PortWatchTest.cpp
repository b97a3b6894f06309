#include "device/Frames.h"
#include "transport/PortWatch.h"
#include "transport/SerialPorts.h"
#include "transport/Transmitter.h"

#include "Wait.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <csignal>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// A port on the simulator behind a link, as an adapter behind its device name, with the watch
// the program keeps over it.
class PortWatchTest : public ::testing::Test
{
protected:
    PortWatchTest()
    {
        Watch.OnVanish = [this](TCustomComPort*) { ++Vanished; };
        Watch.OnReturn = [this](TCustomComPort*) { ++Returned; };
    }

    void Open(const std::string& link)
    {
        ASSERT_TRUE(Simulator.Start({"--link", link}));
        Port.SetPort(QString::fromStdString(link));
        ASSERT_TRUE(Port.ActivatePort());
        ASSERT_EQ(Exchange().size(), 9);
    }

    // Killed, as an adapter pulled out, and its device node goes with it: the link the simulator
    // leaves behind would lead to whichever pseudo-terminal takes its number next.
    void Unplug()
    {
        EXPECT_EQ(Simulator.Stop(SIGKILL), -1);
        QFile::remove(QString::fromStdString(Link));
    }

    // The controller's state: 9 bytes from a controller on the line.
    QByteArray Exchange()
    {
        QByteArray answer;
        Port.Transact(BuildReadFrame(1, 0x04, 0, 2), answer, 245);
        return answer;
    }

    // Descriptors of this process open on path, also once the device node is gone.
    static int DescriptorsOn(const std::string& path)
    {
        int count = 0;
        for (const QString& fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::System)) {
            char target[256] = {};
            const QByteArray link = "/proc/self/fd/" + fd.toLatin1();
            if (readlink(link.constData(), target, sizeof target - 1) > 0)
                count += target == path || target == path + " (deleted)";
        }
        return count;
    }

    TestFolder Folder;
    const std::string Link = Folder.Path("tty").toStdString();
    SimulatorProcess Simulator;
    TTransmitter Port;
    TPortWatch Watch{Port};
    int Vanished = 0;
    int Returned = 0;
};

}  // namespace

TEST_F(PortWatchTest, AKilledPeerIsLetGoAtOnceAndTheSamePathReopenedWhenItReturns)
{
    Open(Link);
    const std::string terminal = Simulator.Path();
    ASSERT_EQ(DescriptorsOn(terminal), 1);
    Unplug();
    ASSERT_TRUE(WaitUntil([&] { return Vanished == 1; }));
    // The descriptor is let go, so that a device plugged in again gets its old name back.
    EXPECT_EQ(DescriptorsOn(terminal), 0);
    EXPECT_TRUE(Port.Connected());
    EXPECT_TRUE(Port.DeviceAway());
    EXPECT_EQ(Exchange(), QByteArray());

    // Nothing at the path: tried once a second, no more.
    QElapsedTimer away;
    away.start();
    ASSERT_TRUE(WaitUntil([&] { return Watch.Attempts() >= 3; }, 10000ms));
    EXPECT_GE(away.elapsed(), 2500);
    EXPECT_EQ(Returned, 0);

    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    ASSERT_TRUE(WaitUntil([&] { return Returned == 1; }));
    EXPECT_FALSE(Port.DeviceAway());
    EXPECT_EQ(Exchange().size(), 9);
    EXPECT_EQ(Vanished, 1);
    EXPECT_EQ(Port.Parity().Bits(), prEven);

    // Gone a second time: told again.
    ASSERT_EQ(again.Stop(SIGTERM), 0);
    ASSERT_TRUE(WaitUntil([&] { return Vanished == 2; }));
}

TEST_F(PortWatchTest, WithoutLineEventsTheExchangeFindsTheLoss)
{
    Port.SetEvents({});
    Open(Link);
    Unplug();
    EXPECT_EQ(Exchange(), QByteArray());
    EXPECT_TRUE(Port.DeviceAway());
    ASSERT_TRUE(WaitUntil([&] { return Vanished == 1; }));
    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    ASSERT_TRUE(WaitUntil([&] { return Returned == 1; }));
    EXPECT_EQ(Exchange().size(), 9);
}

TEST_F(PortWatchTest, TheStableLinkBringsTheDeviceBackUnderAnotherName)
{
    // The adapter's serial/by-id link follows it to whatever name it gets when plugged in again.
    QDir().mkpath(Folder.Path("dev/serial/by-id"));
    const TSerialPortRoots roots = SetSerialPortRoots({Folder.Path("class"), Folder.Path("dev")});
    const QString stable = Folder.Path("dev/serial/by-id/usb-Orvela_Adapter_A1-if00-port0");
    ASSERT_TRUE(QFile::link(QString::fromStdString(Link), stable));
    Open(Link);

    // Unplugged: the simulator takes its link with it.
    ASSERT_EQ(Simulator.Stop(SIGTERM), 0);
    ASSERT_TRUE(WaitUntil([&] { return Vanished == 1; }));
    ASSERT_FALSE(QFile::exists(QString::fromStdString(Link)));
    const std::string other = Folder.Path("tty-other").toStdString();
    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", other}));
    ASSERT_TRUE(QFile::remove(stable));
    ASSERT_TRUE(QFile::link(QString::fromStdString(other), stable));
    ASSERT_TRUE(WaitUntil([&] { return Returned == 1; }));
    EXPECT_EQ(Exchange().size(), 9);
    // The operator's setting stays as it was.
    EXPECT_EQ(Port.Port(), QString::fromStdString(Link));
    SetSerialPortRoots(roots);
}

TEST_F(PortWatchTest, UnderItsPlainPathOnlyTheSameAdapterIsOpenedAgain)
{
    // A tty class tree of our own, in which the pseudo-terminal's number stands for the tty name
    // of a USB adapter with the serial number given.
    const TSerialPortRoots roots = SetSerialPortRoots({Folder.Path("class"), Folder.Path("dev")});
    auto plugIn = [this](const std::string& terminal, const QString& serial) {
        const QString usb = "devices/usb1/1-1-" + serial;
        Folder.Write(usb + "/idVendor", "0403\n");
        Folder.Write(usb + "/idProduct", "6001\n");
        Folder.Write(usb + "/serial", serial.toLatin1() + "\n");
        QDir().mkpath(Folder.Path(usb + "/1-1:1.0"));
        const QString tty = "class/" + QFileInfo(QString::fromStdString(terminal)).fileName();
        QDir().mkpath(Folder.Path(tty));
        QFile::remove(Folder.Path(tty + "/device"));
        return QFile::link(Folder.Path(usb + "/1-1:1.0"), Folder.Path(tty + "/device"));
    };
    QStringList waits;
    Watch.OnWait = [&waits](TCustomComPort*, const QString& why) { waits << why; };
    ASSERT_TRUE(Simulator.Start({"--link", Link}));
    ASSERT_TRUE(plugIn(Simulator.Path(), "A1"));
    Port.SetPort(QString::fromStdString(Link));
    ASSERT_TRUE(Port.ActivatePort());
    EXPECT_EQ(Port.OpenedIdentity(), (TUsbIdentity{"0403", "6001", "A1"}));
    Unplug();
    ASSERT_TRUE(WaitUntil([&] { return Vanished == 1; }));

    // Another adapter of the same make takes the name: left alone, and said once why.
    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    ASSERT_TRUE(plugIn(again.Path(), "B2"));
    ASSERT_TRUE(WaitUntil([&] { return !waits.isEmpty(); }));
    const int attempts = Watch.Attempts();
    ASSERT_TRUE(WaitUntil([&] { return Watch.Attempts() >= attempts + 2; }, 5000ms));
    EXPECT_EQ(waits, QStringList{"Порт " + QString::fromStdString(Link) +
                                 " не открыт: подключен другой адаптер (0403:6001, серийный номер B2), ожидается "
                                 "0403:6001, серийный номер A1"});
    EXPECT_EQ(Returned, 0);
    EXPECT_TRUE(Port.DeviceAway());

    // The operator's own adapter is back under that name.
    ASSERT_TRUE(plugIn(again.Path(), "A1"));
    ASSERT_TRUE(WaitUntil([&] { return Returned == 1; }));
    EXPECT_EQ(Exchange().size(), 9);
    SetSerialPortRoots(roots);
}

TEST_F(PortWatchTest, ClosedWhileAwayThePortStaysClosedAndOpensAgainOnDemand)
{
    Open(Link);
    Unplug();
    ASSERT_TRUE(WaitUntil([&] { return Vanished == 1; }));
    EXPECT_TRUE(Port.DeactivatePort());
    EXPECT_FALSE(Port.Connected());
    EXPECT_FALSE(Port.DeviceAway());

    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    const int attempts = Watch.Attempts();
    // The next tick of the watch finds nothing to watch for.
    ASSERT_FALSE(WaitUntil([&] { return Returned > 0 || Watch.Attempts() > attempts; }, 1500ms));
    EXPECT_FALSE(Port.Connected());
    ASSERT_TRUE(Port.ActivatePort());
    EXPECT_EQ(Exchange().size(), 9);
}

TEST_F(PortWatchTest, DestroyedWhileAwayNothingHangs)
{
    auto port = std::make_unique<TTransmitter>();
    auto watch = std::make_unique<TPortWatch>(*port);
    ASSERT_TRUE(Simulator.Start({"--link", Link}));
    port->SetPort(QString::fromStdString(Link));
    ASSERT_TRUE(port->ActivatePort());
    Unplug();
    ASSERT_TRUE(WaitUntil([&] { return port->DeviceAway(); }));
    watch.reset();
    port.reset();
}
