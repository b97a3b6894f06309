#include "transport/ComPort.h"
#include "transport/EComPort.h"

#include "Wait.h"
#include "PtyPeer.h"
#include "TestFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <clocale>
#include <cstdlib>

#include <gtest/gtest.h>

namespace {

// The open and close notifications a port fires, in order.
class Notifications
{
public:
    explicit Notifications(TCustomComPort& port) : Port_(port)
    {
        const auto add = [this](const QString& name) { return [this, name](TCustomComPort*) { Log << name; }; };
        const auto line = [this](const QString& name) {
            return [this, name](TCustomComPort*, bool on) { Log << name + (on ? u'1' : u'0'); };
        };
        port.OnBeforeOpen = add(QStringLiteral("BeforeOpen"));
        port.OnAfterOpen = add(QStringLiteral("AfterOpen"));
        port.OnBeforeClose = add(QStringLiteral("BeforeClose"));
        port.OnAfterClose = add(QStringLiteral("AfterClose"));
        port.OnCTSChange = line(QStringLiteral("CTS"));
        port.OnDSRChange = line(QStringLiteral("DSR"));
        port.OnRLSDChange = line(QStringLiteral("RLSD"));
    }
    // A subscriber clears what it assigned before it goes away.
    ~Notifications()
    {
        Port_.OnBeforeOpen = Port_.OnAfterOpen = Port_.OnBeforeClose = Port_.OnAfterClose = nullptr;
        Port_.OnCTSChange = Port_.OnDSRChange = Port_.OnRLSDChange = nullptr;
    }
    QStringList Log;

private:
    TCustomComPort& Port_;
};

// Runs body and returns the EComPort it raised; fails the test when it raised none.
template <typename TBody>
EComPort Raised(TBody body)
{
    try {
        body();
    } catch (const EComPort& error) {
        return error;
    }
    ADD_FAILURE() << "no EComPort";
    return EComPort(ecRegistry);
}

}  // namespace

TEST(ComPort, OpenAndCloseSequences)
{
    TPtyPeer peer;
    TComPort port;
    Notifications notes(port);
    port.SetPort(peer.SlavePath());
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    // A pseudo-terminal has no modem lines: they read as off and do not fail the open.
    EXPECT_EQ(notes.Log, QStringList({"BeforeOpen", "AfterOpen", "CTS0", "DSR0", "RLSD0"}));
    EXPECT_EQ(port.ModemLineStates(), 0);
    notes.Log.clear();
    port.SetConnected(true);  // already open
    port.SetConnected(false);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(notes.Log, QStringList({"CTS0", "DSR0", "RLSD0", "BeforeClose", "AfterClose"}));
    notes.Log.clear();
    port.SetConnected(false);  // closing a closed port fires nothing
    EXPECT_TRUE(notes.Log.isEmpty());
}

TEST(ComPort, MissingDeviceRaisesNumberOneWithErrno)
{
    TComPort port;
    Notifications notes(port);
    port.SetPort(QStringLiteral("/dev/orvela-no-such-port"));
    const EComPort error = Raised([&] { port.SetConnected(true); });
    EXPECT_EQ(error.ErrorNumber(), ecOpen);
    EXPECT_EQ(error.SystemCode(), ENOENT);
    EXPECT_EQ(error.Message(), QStringLiteral("Unable to open com port (win error code: %1)").arg(ENOENT));
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(notes.Log, QStringList({"BeforeOpen"}));
}

TEST(ComPort, ADeviceIsNotShared)
{
    TPtyPeer peer;
    TComPort first;
    TComPort second;
    first.SetPort(peer.SlavePath());
    second.SetPort(peer.SlavePath());
    first.SetConnected(true);
    EXPECT_EQ(Raised([&] { second.SetConnected(true); }).SystemCode(), EBUSY);
    first.SetConnected(false);
    second.SetConnected(true);
    EXPECT_TRUE(second.Connected());
}

TEST(ComPort, RefusedLineSettingsCloseTheDeviceAgain)
{
    TPtyPeer peer;
    TComPort port;
    Notifications notes(port);
    port.SetPort(peer.SlavePath());
    port.SetStopBits(sbOne5StopBits);
    const EComPort error = Raised([&] { port.SetConnected(true); });
    EXPECT_EQ(error.ErrorNumber(), ecLineSettings);
    EXPECT_EQ(error.SystemCode(), EINVAL);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(notes.Log, QStringList({"BeforeOpen"}));

    // Nothing of the failed open is left holding the device.
    port.SetStopBits(sbOneStopBit);
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(0);
    EXPECT_EQ(Raised([&] { port.SetConnected(true); }).ErrorNumber(), ecLineSettings);
    port.SetCustomBaudRate(31250);
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
}

TEST(ComPort, AFailedApplyWhileOpenKeepsTheStoredSetting)
{
    TPtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetConnected(true);
    EXPECT_EQ(Raised([&] { port.SetStopBits(sbOne5StopBits); }).ErrorNumber(), ecLineSettings);
    EXPECT_EQ(port.StopBits(), sbOne5StopBits);
    EXPECT_TRUE(port.Connected());
}

TEST(ComPort, SuspendedChangesGoOutTogetherAtTheLastResume)
{
    TPtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetConnected(true);
    port.SuspendApply();
    port.SuspendApply();
    port.SetStopBits(sbOne5StopBits);  // not yet at the driver
    port.ResumeApply();
    EXPECT_EQ(Raised([&] { port.ResumeApply(); }).ErrorNumber(), ecLineSettings);
    port.ResumeApply();  // at zero: nothing
    port.SetStopBits(sbTwoStopBits);  // applied at once again
}

TEST(ComPort, SyncMethodOnlyWhileClosed)
{
    TPtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetSyncMethod(smNone);
    port.SetConnected(true);
    const EComPort error = Raised([&] { port.SetSyncMethod(smThreadSync); });
    EXPECT_EQ(error.ErrorNumber(), ecConnectedProperty);
    EXPECT_EQ(error.SystemCode(), -1);
    EXPECT_EQ(error.Message(), QStringLiteral("Cannot set property while connected"));
    port.SetSyncMethod(smNone);  // unchanged: accepted
}

TEST(ComPort, ChangingThePortNameReopens)
{
    TPtyPeer first;
    TPtyPeer second;
    TComPort port;
    port.SetPort(first.SlavePath());
    port.SetConnected(true);
    Notifications notes(port);
    port.SetPort(first.SlavePath());
    EXPECT_TRUE(notes.Log.isEmpty());
    port.SetPort(second.SlavePath());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(notes.Log.first(), QStringLiteral("CTS0"));
    EXPECT_TRUE(notes.Log.contains(QStringLiteral("AfterOpen")));
    port.WriteText("ping");
    EXPECT_EQ(second.Read(4), QByteArray("ping"));
}

TEST(ComPort, ReadTextOfNothingStartsNoRead)
{
    TComPort port;  // closed: a read that started would fail
    QByteArray data("old");
    EXPECT_EQ(port.ReadText(data, 0), 0);
    EXPECT_TRUE(data.isEmpty());
    EXPECT_EQ(port.WriteText({}), 0);
    EXPECT_EQ(Raised([&] { port.WriteText("x"); }).ErrorNumber(), ecWrite);
    EXPECT_EQ(Raised([&] { port.ReadText(data, 1); }).ErrorNumber(), ecRead);
    EXPECT_EQ(Raised([&] { port.StartRead(data.data(), 1, nullptr); }).ErrorNumber(), ecAsyncParameter);
}

TEST(ComPort, EventsReachThePortsThread)
{
    TPtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    int received = 0;
    port.OnRxChar = [&](TCustomComPort*, int count) { received = count; };
    port.SetConnected(true);
    peer.Write("abc");
    EXPECT_TRUE(WaitUntil([&] { return received == 3; }));
    // The data stays for the reader.
    QByteArray data;
    EXPECT_EQ(port.ReadText(data, 3), 3);
}

TEST(ComPort, NoEventsNoEventThread)
{
    TPtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.SetEvents({});
    bool received = false;
    port.OnRxChar = [&](TCustomComPort*, int) { received = true; };
    port.SetConnected(true);
    peer.Write("abc");
    EXPECT_FALSE(WaitUntil([&] { return received; }, 200ms));
    port.SetConnected(false);
}

namespace {

// Counts the data events that reach the port's thread, listened to or not.
class CountingPort : public TComPort
{
public:
    int Arrivals = 0;

protected:
    void DoRxChar(int count) override
    {
        ++Arrivals;
        TComPort::DoRxChar(count);
    }
};

}  // namespace

TEST(ComPort, OnlyListenedEventsReachThePortsThreadAndListenersMayComeWhileOpen)
{
    TPtyPeer peer;
    CountingPort port;
    port.SetPort(peer.SlavePath());
    port.SetConnected(true);
    peer.Write("abc");
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.PendingInputCount() == 3; }));
    EXPECT_FALSE(WaitUntil([&] { return port.Arrivals > 0; }, 200ms));

    int received = 0;
    port.OnRxChar = [&](TCustomComPort*, int count) { received = count; };
    peer.Write("d");
    EXPECT_TRUE(WaitUntil([&] { return received == 4; }));
    port.OnRxChar = nullptr;
    const int arrivals = port.Arrivals;
    peer.Write("e");
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.PendingInputCount() == 5; }));
    EXPECT_FALSE(WaitUntil([&] { return port.Arrivals > arrivals; }, 200ms));
    port.SetConnected(false);
}

TEST(ComPort, ClosingWhileAHandOverWaitsDoesNotDeadlock)
{
    TPtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    int handled = 0;
    port.OnRxChar = [&](TCustomComPort*, int) { ++handled; };
    port.SetConnected(true);
    peer.Write("x");
    ASSERT_TRUE(WaitUntil([&] { return handled == 1; }));
    peer.Write("y");
    // The event thread now waits for this thread, which does not serve it but closes.
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.PendingInputCount() == 2; }));
    port.SetConnected(false);
    EXPECT_FALSE(port.Connected());
    QCoreApplication::processEvents();  // the given-up hand-over does nothing
    EXPECT_EQ(handled, 1);
}

TEST(ComPort, ASubscriberMayCloseThePort)
{
    TPtyPeer peer;
    TComPort port;
    port.SetPort(peer.SlavePath());
    port.OnRxChar = [&](TCustomComPort* sender, int) { sender->SetConnected(false); };
    port.SetConnected(true);
    peer.Write("x");
    EXPECT_TRUE(WaitUntil([&] { return !port.Connected(); }));
}

TEST(ComPort, MessagesComeFromTheCatalogue)
{
    const QString catalogue = QStringLiteral(ORVELA_TRANSPORT_CATALOGUE);
    if (!QFile::exists(catalogue))
        GTEST_SKIP() << "no compiled catalogue";
    TestFolder folder;
    folder.Write(QStringLiteral("locale/ru/LC_MESSAGES/default.mo"), [&] {
        QFile file(catalogue);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }());
    // gettext honours LANGUAGE only outside the plain C locale.
    const std::string oldLocale = std::setlocale(LC_MESSAGES, nullptr);
    ASSERT_NE(std::setlocale(LC_MESSAGES, "C.UTF-8"), nullptr);
    setenv("LANGUAGE", "ru", 1);

    const EComPort error(ecOpen, ENOENT);
    const EComPort plain(ecConnectedProperty);

    unsetenv("LANGUAGE");
    std::setlocale(LC_MESSAGES, oldLocale.c_str());
    EXPECT_EQ(error.Message(), QStringLiteral("Не удалось открыть COM-порт (код ошибки: 2)"));
    EXPECT_EQ(plain.Message(), QStringLiteral("Нельзя менять свойство при открытом порте"));
}
