#include "device/CommandTable.h"
#include "device/Vantor.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

TEST(Requests, ReadCommandsFollowTheGroup)
{
    TVantor vantor;
    vantor.SetSystemAddress(1);
    EXPECT_EQ(vantor.BuildReadRequest(0), Hex("01040000000271CB"));
    EXPECT_EQ(vantor.BuildReadRequest(3), Answer("010307D30002"));

    vantor.CurrentInput = 5;
    const QByteArray readings = vantor.BuildReadRequest(1);
    EXPECT_EQ(readings, Answer("0104004A0040"));
    EXPECT_EQ(FirstRegister(readings) + RegisterCount(readings) - 1, 137);
    const QByteArray settings = vantor.BuildReadRequest(2);
    EXPECT_EQ(settings, Answer("0103005A0028"));
    EXPECT_EQ(FirstRegister(settings) + RegisterCount(settings) - 1, 129);

    vantor.CurrentInput = 189;
    EXPECT_EQ(FirstRegister(vantor.BuildReadRequest(1)), 3018);
    EXPECT_EQ(FirstRegister(vantor.BuildReadRequest(1)) + 63, 3081);
    EXPECT_EQ(FirstRegister(vantor.BuildReadRequest(2)), 1930);
    EXPECT_EQ(FirstRegister(vantor.BuildReadRequest(2)) + 39, 1969);
}

TEST(Requests, WriteCommandsCarryTheWriteParameters)
{
    TVantor vantor;
    vantor.SetSystemAddress(0x11);
    vantor.CurrentInput = 7;
    vantor.WrEnabled = 1;
    vantor.WrPlantNumber = 0x1234;
    vantor.WrInterval = 15;
    vantor.WrBound = 20.03125;  // 320.5 steps: ties to even
    EXPECT_EQ(vantor.BuildWriteRequest(7), Answer("1110006E0004080001123400 0F0140"));
    vantor.WrBound = -0.5;
    EXPECT_EQ(vantor.BuildWriteRequest(7).mid(13, 2), Hex("FFF8"));
    vantor.WrBound = 20.09375;  // 321.5 steps: up to the even 322
    EXPECT_EQ(vantor.BuildWriteRequest(7).mid(13, 2), Hex("0142"));
    vantor.WrBound = 1e9;  // held at the register's limit, not wrapped
    EXPECT_EQ(vantor.BuildWriteRequest(7).mid(13, 2), Hex("7FFF"));

    vantor.WrBaud = 6;
    vantor.WrParity = 2;
    EXPECT_EQ(vantor.BuildWriteRequest(8), Answer("111007D3000204 00060002"));
    vantor.WrDevicePlantNumber = 42;
    vantor.WrSystemAddress = 3;
    const QByteArray address = vantor.BuildWriteRequest(9);
    EXPECT_EQ(address.left(7), Hex("11100000000306"));
    EXPECT_EQ(MakeWord(address[7], address[8]), vantor::AuthorisationWord());
    EXPECT_EQ(address.mid(9, 4), Hex("002A0003"));
    EXPECT_EQ(vantor.BuildWriteRequest(10), Answer("111007D2000102002A"));
}

TEST(Requests, ServiceAndSignatureCommands)
{
    TVantor vantor;
    vantor.SetSystemAddress(1);
    vantor.WrDevicePlantNumber = 42;
    const QByteArray loading = vantor.BuildServiceRequest(4);
    EXPECT_EQ(loading.left(7), Hex("01100003000306"));
    EXPECT_EQ(MakeWord(loading[7], loading[8]), vantor::AuthorisationWord());
    EXPECT_EQ(MakeWord(loading[11], loading[12]), vantor::kLoadingModeCode);
    EXPECT_EQ(MakeWord(vantor.BuildServiceRequest(5)[7], vantor.BuildServiceRequest(5)[8]), vantor::kServiceAccessCode);
    EXPECT_EQ(vantor.BuildServiceRequest(6), Answer("011007D00001020000"));
    EXPECT_EQ(vantor.BuildSignatureRequest(11), Answer("012B0E0100"));
    EXPECT_EQ(vantor.BuildSignatureRequest(12), Answer("012B0E0203"));
    EXPECT_EQ(vantor.BuildSignatureRequest(13), Answer("012B0E0380"));
}

TEST(Requests, BuildersRefuseForeignNumbersAndTheDispatcherPicksTheirBuilder)
{
    TVantor vantor;
    EXPECT_TRUE(vantor.BuildReadRequest(4).isEmpty());
    EXPECT_TRUE(vantor.BuildServiceRequest(7).isEmpty());
    EXPECT_TRUE(vantor.BuildWriteRequest(3).isEmpty());
    EXPECT_TRUE(vantor.BuildSignatureRequest(14).isEmpty());
    EXPECT_TRUE(vantor.BuildRequest(-1).isEmpty());
    for (int command = 0; command < kCommandCount; ++command) {
        const QByteArray frame = vantor.BuildRequest(command);
        EXPECT_TRUE(CheckCrc(frame)) << command;
    }
}

TEST(CommandTable, GroupNamesAndLengths)
{
    TCommandTable table;
    table.NameGroup(189);
    EXPECT_EQ(table.Name(1), "Считать показания четырех входов 189 - 192");
    EXPECT_EQ(table.Name(2), "Считать настройки четырех входов 189 - 192");
    EXPECT_EQ(table.AnswerLength(1), 133);
    EXPECT_EQ(table.AnswerLength(2), 85);
    EXPECT_EQ(table.AnswerLength(13), 0);
    EXPECT_EQ(table.Name(14), "");
}
