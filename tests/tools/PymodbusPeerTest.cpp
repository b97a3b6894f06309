// Our answer validation against a Modbus server that nobody here wrote: its standard answers to
// our requests pass, and a frame of another unit on the same line does not.
#include "PortClient.h"

#include "device/CommandTable.h"
#include "device/Frames.h"
#include "device/Vantor.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class PymodbusPeer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (std::system("/usr/bin/python3 -c 'import pymodbus' > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "python3-pymodbus is not installed";
        Server.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(ORVELA_PYMODBUS_SERVER)});
        ASSERT_TRUE(Server.waitForStarted(10000));
        while (!Server.canReadLine())
            ASSERT_TRUE(Server.waitForReadyRead(20000)) << Server.readAllStandardError().toStdString();
        Port = std::make_unique<PortClient>(Server.readLine().trimmed().toStdString());
        ASSERT_TRUE(Port->IsOpen());
    }

    void TearDown() override
    {
        Port.reset();
        Server.closeWriteChannel();  // the server ends when its standard input closes
        if (!Server.waitForFinished(5000))
            Server.kill();
        Server.waitForFinished(5000);
    }

    QProcess Server;
    std::unique_ptr<PortClient> Port;
};

}  // namespace

TEST_F(PymodbusPeer, ItsStandardAnswersPassAndAnotherUnitsFrameDoesNot)
{
    TVantor vantor;
    vantor.SetSystemAddress(1);
    vantor.CurrentInput = 5;
    for (const int command : {cmdGeneralInfo, cmdReadInputs, cmdReadSettings, cmdReadModbus, cmdOpenService, cmdWriteInput}) {
        const QByteArray request = vantor.BuildRequest(command);
        const int length = CommandTable().AnswerLength(command);
        const QByteArray answer = Port->Exchange(request, length);
        ASSERT_EQ(answer.size(), length) << command;
        const TAnswerValidation check = ValidateAnswer(answer, request, static_cast<std::uint8_t>(length));
        EXPECT_EQ(check.Verdict, TAnswerValidation::Accepted) << command << ": " << answer.toHex().toStdString();
    }

    // Unit 2 answers on the line while unit 1 was asked.
    const QByteArray asked = BuildReadFrame(1, 0x04, 0, 2);
    const QByteArray other = Port->Exchange(BuildReadFrame(2, 0x04, 0, 2), 9);
    ASSERT_EQ(other.size(), 9);
    ASSERT_TRUE(CheckCrc(other));
    const TAnswerValidation check = ValidateAnswer(other, asked, 9);
    EXPECT_EQ(check.Verdict, TAnswerValidation::Failed);
    EXPECT_EQ(check.State, e_IllegalCommand);
}
