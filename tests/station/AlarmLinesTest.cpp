#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "station/AlarmLines.h"
#include "station/VantorVisual.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

TEST(AlarmLines, ControllerLinesWithTheDefaultTitles)
{
    TVantor vantor;
    vantor.SetErrorMax(2);
    vantor.RegisterFailure(e_NoAnswer);
    vantor.RegisterFailure(e_NoAnswer);
    EXPECT_EQ(ModuleErrorLine(vantor), "Vantor Ошибка обмена: Нет ответа от устройства");
    vantor.ConfirmAnswer();
    EXPECT_EQ(ModuleErrorLine(vantor), "Vantor Состояние обмена: Норма");
    vantor.Error.SetValue(3);
    EXPECT_EQ(ErrorCodeLine(vantor), "Vantor Код ошибки: 3");
}

TEST(AlarmLines, InputLinesOnlyForNormalAndNoLink)
{
    TVantorInput input(5);
    input.PlantNumber = 1234;
    input.OprosState.SetValue(3);
    EXPECT_EQ(InputStateLine(input), "Вход 5 (№ 1234) Состояние обмена: Нет связи");
    input.OprosState.SetValue(0);
    EXPECT_EQ(InputStateLine(input), "Вход 5 (№ 1234) Состояние обмена: Норма");
    input.OprosState.SetValue(1);
    EXPECT_EQ(InputStateLine(input), "");
    input.OprosState.SetValue(2);
    EXPECT_EQ(InputStateLine(input), "");
    EXPECT_EQ(PlantNumberChangeLine(input, 20005, 30005),
              "Вход 5 (№ 30005) Заводской номер термоподвески изменился, был № 20005");
}

TEST(AlarmLines, SensorLineForAlarmStatesEndsWithABlank)
{
    TVantorInput input(5);
    input.TemperState[2].SetValue(5);  // 0xAAAA
    EXPECT_EQ(SensorStateLine(input, 3), "Состояние датчика 5.3: AAAA (Термодатчик неисправен) ");
    input.TemperState[2].SetValue(1);
    EXPECT_EQ(SensorStateLine(input, 3), "");
    input.TemperState[2].SetValue(2);  // 0xAAA7 is no alarm
    EXPECT_EQ(SensorStateLine(input, 3), "");
}

namespace {

struct CaptionLabel : TLabelView
{
    void SetCaption(const QString& caption) override { Caption = caption; }
    void SetHint(const QString&) override {}
    void SetFontColor(TColor color) override { Color = color; }
    QString Caption;
    TColor Color = -1;
};

}  // namespace

TEST(VantorVisual, LabelsFollowTheControllerAndTakeTheLatestErrorText)
{
    TestFolder folder;
    VantorStartup();
    TVantor& vantor = *Vantor();
    vantor.SetErrorMax(1);
    vantor.FreqChannel = 7;
    CaptionLabel module, error, channel;
    {
        TVantorVisual visual;
        visual.iolblModuleError.ValueLabel = &module;
        visual.iolblError.ValueLabel = &error;
        visual.lbChannel = &channel;
        visual.AssignAll();
        visual.RefreshAll();
        EXPECT_EQ(channel.Caption, "7");
        EXPECT_EQ(error.Caption, "0");

        vantor.RegisterFailure(e_NoAnswer);
        EXPECT_EQ(module.Caption, "Нет ответа от устройства");
        EXPECT_EQ(module.Color, vantor.ModuleError.Description().GetColor1(tsTrue));
        // The same state with a new text: drawn at the next RefreshAll.
        vantor.RegisterFailure(e_CheckSum);
        EXPECT_EQ(module.Caption, "Нет ответа от устройства");
        visual.RefreshAll();
        EXPECT_NE(module.Caption, "Нет ответа от устройства");
        EXPECT_EQ(module.Caption, vantor.ModuleError.StateCaption());

        vantor.Error.SetValue(4);
        EXPECT_EQ(error.Caption, "4");
    }
    // Unlinked on destruction: the controller's values go on alone.
    EXPECT_TRUE(vantor.ModuleError.Observers().empty());
    vantor.ConfirmAnswer();
    EXPECT_NE(module.Caption, "Норма");
    VantorShutdown();
}
