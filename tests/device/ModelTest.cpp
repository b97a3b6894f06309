#include "device/Vantor.h"
#include "device/VantorUnit.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

TEST(Model, NamesTitlesAndTagsOfTheValues)
{
    TVantor vantor;
    EXPECT_EQ(vantor.Name(), "VANTOR");
    EXPECT_EQ(vantor.CurrentInput, 192);
    EXPECT_EQ(vantor.Enabled.StateCaption(), "Да");
    EXPECT_EQ(vantor.ModuleError.StateCaption(), "Неизвестно");
    EXPECT_EQ(vantor.Error.Description().Title, "Код ошибки");

    const TVantorInput& input = vantor.Input(7);
    EXPECT_EQ(input.Title, "Вход 7");
    EXPECT_EQ(input.Hint, "Вход Vantor 7");
    EXPECT_EQ(input.Section(), "VantorInput7");
    EXPECT_EQ(input.Bound[2].Description().Title, "У 7.3");
    EXPECT_EQ(input.Temper[2].Description().Title, "T 7.3");
    EXPECT_EQ(input.TemperState[2].StatesDescription().Title, "Состояние датчика 7.3");
    EXPECT_EQ(input.TemperState[2].StatesDescription().Hint, "Состояние датчика температуры 7.3");
    EXPECT_EQ(input.Bound[2].Description().Tag, 1795);
    EXPECT_EQ(input.Temper[2].Description().Tag, 1795);
    EXPECT_EQ(input.TemperState[2].StatesDescription().Tag, 1795);
    EXPECT_EQ(input.OprosState.Tag, 7);
    EXPECT_EQ(input.ChannelEnabled.Tag, 7);
    EXPECT_EQ(input.OprosState.StateCaption(), "Данные не обновились");
    EXPECT_EQ(input.Temper[0].Description().Dimension, "°С");
    EXPECT_EQ(input.Temper[0].Description().Digits, 1);
    EXPECT_EQ(input.TemperState[0].StateCaption(), "Неизвестно");
    EXPECT_EQ(input.TemperState[0].StatesDescription().States.size(), 11);
    EXPECT_EQ(vantor.Input(192).Title, "Вход 192");
}

TEST(Model, AddressAndSensitivityChangesResetTheExchangeState)
{
    TVantor vantor;
    vantor.SetErrorMax(1);
    vantor.RegisterFailure(e_NoAnswer);
    ASSERT_EQ(vantor.ModuleError.StateCaption(), "Нет ответа от устройства");
    vantor.SetSystemAddress(0);  // unchanged
    EXPECT_EQ(vantor.ModuleError.GetOutValue().ToInteger(), tsTrue);
    vantor.SetSystemAddress(5);
    EXPECT_EQ(vantor.ModuleError.StateCaption(), "Неизвестно");
    EXPECT_EQ(vantor.ErrorCount, 0);
    EXPECT_EQ(vantor.DeviceState, e_OK);
}

TEST(Model, ALineAwayForErrorMaxCyclesMarksEveryInputUntilAnAnswerIsAccepted)
{
    TVantor vantor;
    vantor.SetErrorMax(3);
    vantor.ConfirmAnswer();
    vantor.Input(5).OprosState.SetValue(3);
    int told = 0;
    vantor.OnInputsStale = [&told](TVantor*) { ++told; };

    vantor.RegisterLineAway();
    vantor.RegisterLineAway();
    EXPECT_EQ(vantor.ModuleError.StateCaption(), "Норма");
    EXPECT_FALSE(vantor.Input(1).Stale);
    vantor.RegisterLineAway();
    EXPECT_EQ(vantor.ModuleError.StateCaption(), "Нет ответа от устройства");
    for (const int n : {1, 5, 192}) {
        EXPECT_TRUE(vantor.Input(n).Stale);
        EXPECT_EQ(vantor.Input(n).ExchangeCaption(), "Данные не обновились");
        EXPECT_EQ(vantor.Input(n).ExchangeColor(), clGray);
    }
    // The values themselves stay as last decoded.
    EXPECT_EQ(vantor.Input(5).OprosState.StateCaption(), "Нет связи");
    vantor.RegisterLineAway();
    EXPECT_EQ(told, 1);

    vantor.ConfirmAnswer();
    EXPECT_EQ(told, 2);
    EXPECT_FALSE(vantor.Input(192).Stale);
    EXPECT_EQ(vantor.Input(5).ExchangeCaption(), "Нет связи");
    EXPECT_EQ(vantor.Input(5).ExchangeColor(), clRed);
    EXPECT_EQ(vantor.ModuleError.StateCaption(), "Норма");
}

TEST(Model, StartWithoutSettingsFile)
{
    TestFolder folder;
    VantorStartup();
    ASSERT_NE(Vantor(), nullptr);
    EXPECT_EQ(Vantor()->ErrorMax(), 3);
    EXPECT_EQ(Vantor()->Enabled.GetOutValue().ToInteger(), tsTrue);
    EXPECT_EQ(Vantor()->SystemAddress(), 0);
    EXPECT_EQ(ComPauseRead, 50);
    EXPECT_EQ(ComPauseWrite, 150);
    VantorShutdown();
    EXPECT_EQ(Vantor(), nullptr);
}

TEST(Model, SettingsRoundTripKeepingForeignKeys)
{
    TestFolder folder;
    folder.Write("INI/VANTOR.ini", "; hand note\r\n[VANTOR]\r\nSensitivity=5\r\nEnabled=0\r\nSystemAddress=17\r\n"
                                   "[ComPause]\r\nComPauseRead=20\r\nComPauseWrite=300\r\n[Other]\r\nX=1\r\n");
    VantorStartup();
    TVantor& vantor = *Vantor();
    EXPECT_EQ(vantor.ErrorMax(), 5);
    EXPECT_EQ(vantor.Enabled.StateCaption(), "Нет");
    EXPECT_EQ(vantor.SystemAddress(), 17);
    EXPECT_EQ(ComPauseRead, 20);
    EXPECT_EQ(ComPauseWrite, 300);

    vantor.SetSystemAddress(18);
    ComPauseRead = 50;
    ASSERT_TRUE(vantor.Save());
    Sensitivity = 4;
    ASSERT_TRUE(SaveSensitivity());
    EXPECT_EQ(folder.Read("INI/VANTOR.ini"),
              "; hand note\r\n[VANTOR]\r\nSensitivity=4\r\nEnabled=0\r\nSystemAddress=18\r\n"
              "[ComPause]\r\nComPauseRead=50\r\nComPauseWrite=300\r\n[Other]\r\nX=1\r\n");
    VantorShutdown();
    ComPauseWrite = 150;
}

TEST(Model, UnusableNumbersInTheSettingsFileKeepTheDefaults)
{
    TestFolder folder;
    for (const char* bad : {"abc", "-1", "256", "99999999999", ""}) {
        folder.Write("INI/VANTOR.ini", QByteArray("[VANTOR]\nSensitivity=") + bad + "\nSystemAddress=" + bad +
                                           "\nEnabled=" + bad + "\n[ComPause]\nComPauseRead=" + bad +
                                           "\nComPauseWrite=" + bad + "\n");
        VantorStartup();
        EXPECT_EQ(Vantor()->ErrorMax(), 3) << bad;
        EXPECT_EQ(Vantor()->SystemAddress(), 0) << bad;
        const bool pause = QByteArray(bad) == "256";  // a fine pause, though no byte
        EXPECT_EQ(ComPauseRead, pause ? 256 : 50) << bad;
        EXPECT_EQ(ComPauseWrite, pause ? 256 : 150) << bad;
        VantorShutdown();
        ComPauseRead = 50;
        ComPauseWrite = 150;
    }
    folder.Write("INI/VANTOR.ini", "[ComPause]\nComPauseRead=60001\nComPauseWrite=0\n");
    VantorStartup();
    EXPECT_EQ(ComPauseRead, 50);  // a minute's pause would stall polling
    EXPECT_EQ(ComPauseWrite, 0);
    VantorShutdown();
    ComPauseWrite = 150;
}
