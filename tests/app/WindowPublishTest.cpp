#include "WindowFixture.h"

#include "Broker.h"

#include "common/Cp1251.h"
#include "history/HistoryUnit.h"
#include "publish/PublishUnit.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>

namespace {

// The window publishing to a broker of the test's own, as the program starts it.
class WindowPublish : public Window
{
protected:
    ~WindowPublish() override
    {
        Form.reset();
        HistoryShutdown();
        PublishShutdown();
    }

    void OpenPublishing()
    {
        Folder.Write("INI/MQTT.ini", MqttIni(Server.Port(), "w1", "Heartbeat=3\r\n"));
        ASSERT_TRUE(Simulator.Start());
        WriteSettings(Simulator.Path(), 20);
        HistoryStartup(PublishingEnabled());
        PublishStartup();
        Open();
    }

    QString Panel() const
    {
        auto* panel = Form->findChild<QLabel*>("StatusPanelBroker");
        return panel && panel->isVisible() ? panel->text() : QString();
    }

    QString AlarmLog() const
    {
        return FromCp1251(Folder.Read("LOG/alarm_" + QDate::currentDate().toString("yyyy_MM_dd") + ".txt"));
    }

    Broker Server;
};

TEST_F(WindowPublish, ThePanelFollowsTheBrokerAndTheAlarmLogHasOneLineForTheLossAndOneForTheReturn)
{
    ASSERT_TRUE(Server.Start());
    OpenPublishing();
    auto* action = Form->findChild<QAction*>("miPublishing");
    ASSERT_TRUE(action);
    EXPECT_EQ(action->iconText(), "Публикация MQTT…");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Panel() == "MQTT: связь есть"; }, 30000)) << Panel().toStdString();

    Server.Kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Panel() == "MQTT: нет связи"; }, 30000));
    ASSERT_TRUE(Server.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Panel() == "MQTT: связь есть"; }, 60000));
    const QString log = AlarmLog();
    EXPECT_EQ(log.count("Нет соединения с брокером MQTT: "), 1) << log.toStdString();
    EXPECT_EQ(log.count("Соединение с брокером MQTT восстановлено"), 1) << log.toStdString();
}

TEST_F(WindowPublish, TheDialogRefusesABadNameChecksTheBrokerAndPublishesUnderTheNewNameOnceSaved)
{
    ASSERT_TRUE(Server.Start());
    OpenPublishing();
    Subscriber watch(Server.Port(), "orvela/+/status");
    QString refusal, checked;
    OnModal("FormMqttSettings", [&](QWidget* dialog) {
        auto* station = dialog->findChild<QLineEdit*>("edStation");
        auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        EXPECT_EQ(station->text(), "w1");
        station->setText("w/2");
        OnModal("QMessageBox", [&](QWidget* box) {
            refusal = static_cast<QMessageBox*>(box)->text();
            box->close();
        });
        ok->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !refusal.isEmpty(); }, 10000));
        EXPECT_TRUE(dialog->isVisible());
        station->setText("w2");
        dialog->findChild<QPushButton*>("btCheck")->click();
        auto* result = dialog->findChild<QLabel*>("lbResult");
        EXPECT_TRUE(QTest::qWaitFor([&] { return result->text().startsWith("Соединение"); }, 30000));
        checked = result->text();
        ok->click();
    });
    Form->findChild<QAction*>("miPublishing")->trigger();
    EXPECT_TRUE(refusal.contains("Имя станции")) << refusal.toStdString();
    EXPECT_EQ(checked, "Соединение установлено.");
    EXPECT_TRUE(Folder.Read("INI/MQTT.ini").contains("Station=w2"));
    // What the dialog does not show is kept.
    EXPECT_TRUE(Folder.Read("INI/MQTT.ini").contains("Heartbeat=3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watch.Last("orvela/w2/status").contains("online"); }, 30000));
    EXPECT_TRUE(watch.Last("orvela/w1/status").contains("offline"));
}

TEST_F(WindowPublish, WithPublishingOffTheStatusBarHasNoBrokerPanel)
{
    ASSERT_TRUE(Simulator.Start());
    WriteSettings(Simulator.Path(), 20);
    PublishStartup();
    Open();
    EXPECT_FALSE(Form->findChild<QLabel*>("StatusPanelBroker"));
    EXPECT_FALSE(Publisher());
}

}  // namespace
