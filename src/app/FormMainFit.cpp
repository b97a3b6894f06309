#include "app/FormMain.h"

#include "app/StatusPanels.h"
#include "device/DeviceStates.h"
#include "device/DisplayTables.h"
#include "device/Vantor.h"
#include "device/VantorCodes.h"
#include "device/VantorUnit.h"
#include "dialogs/TextFit.h"
#include "station/InputCells.h"
#include "values/DateTime.h"
#include "values/TimeTexts.h"

#include "ui_FormMain.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

namespace {

const QString kUnread = QStringLiteral("_ _");

// The widest number a field shows, and the text of a value not read yet.
QStringList Numbers(qint64 widest)
{
    return {kUnread, QString::number(widest)};
}

QStringList Captions(const TDescriptionOfStates& states)
{
    QStringList captions;
    for (const TState& state : states.States)
        captions << state.Caption;
    return captions;
}

// A temperature or set-point register holds 1/16 degrees in 16 signed bits.
QStringList Temperatures(int digits)
{
    QStringList texts;
    for (const double value : {vantor::kSetPointMin, vantor::kSetPointMax, -1.0 / 16, -1000.0 - 15.0 / 16})
        texts << QLocale::system().toString(value, 'f', digits);
    return texts;
}

QStringList SetPoints()
{
    TDDouble bound;
    bound.Precision = 9;
    bound.SetRange(vantor::kSetPointMin, vantor::kSetPointMax);
    QStringList texts;
    for (const double value : {vantor::kSetPointMin, vantor::kSetPointMax, -2047.0 - 15.0 / 16, -1000.0 - 15.0 / 16}) {
        bound.SetValue(value);
        texts << bound.ValueText();
    }
    return texts;
}

// The time of a poll at the widest hours of the morning and of the afternoon.
QStringList Times()
{
    QStringList texts;
    const QDate today = QDate::currentDate();
    for (const QTime time : {QTime(0, 0, 0), QTime(8, 58, 58), QTime(10, 58, 58), QTime(12, 58, 58),
                             QTime(20, 58, 58), QTime(22, 58, 58), QTime(23, 59, 59)})
        texts << TimeText(QDateTimeToDateTime(QDateTime(today, time)));
    return texts;
}

QStringList DeviceMessages()
{
    QStringList texts = {QStringLiteral("Неизвестно")};
    for (int state = 0;; ++state) {
        const QString message = DeviceStateMessage(static_cast<TDeviceStates>(state));
        if (message.isEmpty())
            break;
        texts << message;
    }
    return texts;
}

QStringList SensorMessages()
{
    QStringList texts;
    for (int state = 0; !SensorMessage(state).isEmpty(); ++state)
        texts << SensorMessage(state);
    return texts;
}

}  // namespace

QStringList TFormMain::InputColumnTexts(int column) const
{
    const TVantor* vantor = Vantor();
    if (!vantor)
        return {};
    const TVantorInput& input = vantor->Input(1);
    if (column >= cells::kFirstTemper && column < cells::kFirstBound)
        // States 0 and 1 show the temperature, the others their status code.
        return Captions(input.TemperState[0].StatesDescription()).mid(2) + Temperatures(input.Temper[0].Description().Digits);
    if (column >= cells::kFirstBound && column <= cells::kLastBound)
        return {QStringLiteral("-"), QStringLiteral("0"), QStringLiteral("1")};
    switch (column) {
    case 0:
        return {QString::number(vantor::kInputCount)};
    case cells::kOprosState:
        return Captions(input.OprosState.StatesDescription());
    case 2:
    case 3:
        return {QStringLiteral("255")};
    case 4:
    case 20:
        return {QStringLiteral("65535")};
    case 5:
        return {QStringLiteral("FF FF"), QStringLiteral("00 00")};
    case 19:
        return SetPoints();
    case cells::kEnabled:
        return YesNoThreeStateTexts();
    case cells::kTime:
        return Times();
    default:
        return {};
    }
}

void TFormMain::FitTextWidths()
{
    Ui::FormMain& ui = *Ui_;
    const auto fit = [](const QList<QLabel*>& labels, const QStringList& texts) {
        int width = 0;
        for (QLabel* label : labels)
            width = std::max(width, WidthForTexts(label, texts.isEmpty() ? QStringList{label->text() + u' '} : texts));
        WidenColumn(QList<QWidget*>(labels.begin(), labels.end()), width);
    };
    // Captions fixed in the form: each column as wide as its widest caption, and a space before the
    // value beside it.
    fit({ui.lbSystemAddressTxt, ui.lbErrorCodeTxt, ui.lbModuleErrorTxt}, {});
    fit({ui.lbSystemAddress}, Numbers(255));
    fit({ui.lbErrorCode}, Numbers(255));
    fit({ui.lbModuleError}, DeviceMessages());
    fit({ui.lbFreqChannelTxt, ui.lbServiceOpenedTxt}, {});
    fit({ui.lbFreqChannel}, Numbers(255));
    fit({ui.lbServiceOpened}, ServiceRangeTexts());
    fit({ui.lbModbusSpeedTxt}, {});
    fit({ui.lbModbusSpeed}, BaudTexts());
    fit({ui.lbModbusParityTxt}, {});
    fit({ui.lbModbusParity}, ParityTexts());
    WidenColumn({ui.gbModule, ui.gbModbus}, std::max(ui.gbModule->width(), ui.gbModbus->width()));
    fit({ui.lbManufactTxt, ui.lbPlantNumberTxt, ui.lbVerSoftTxt, ui.lbVerHardTxt, ui.lbSiteTxt}, {});
    fit({ui.lbPlantNumber}, Numbers(65535));
    fit({ui.lbVerSoft, ui.lbVerHard}, Numbers(255));
    fit({ui.lbDeviceTxt, ui.lbDeviceNameTxt, ui.lbDeviceTypeTxt, ui.lbCRCTxt}, {});
    fit({ui.lbDeviceType}, Numbers(255));
    WidenColumn({ui.btSignRead}, WidthForTexts(ui.btSignRead, {ui.btSignRead->text()}));

    const TVantor* vantor = Vantor();
    fit({ui.lbCh_State6, ui.lbCh_State5, ui.lbCh_State4, ui.lbCh_State3, ui.lbCh_State2, ui.lbCh_State1},
        SensorMessages());
    if (vantor)
        fit({ui.lbCh_OprosState}, Captions(vantor->Input(1).OprosState.StatesDescription()));
    fit({ui.lbCh_BatteryTxt, ui.lbCh_SoftVersionTxt, ui.lbCh_PlantNumberTxt, ui.lbCh_CRCTxt}, {});
    fit({ui.lbCh_Battery, ui.lbCh_SoftVersion, ui.lbCh_PlantNumber, ui.lbCh_CRC},
        {kUnread, QStringLiteral("65535"), QStringLiteral("0xFFFF")});
    fit({ui.lbCh_TimeTxt, ui.lbCh_BoundTxt, ui.lbCh_IntervalTxt, ui.lbCh_EnabledTxt}, {});
    fit({ui.lbCh_Time, ui.lbCh_Bound, ui.lbCh_Interval, ui.lbCh_Enabled},
        Times() + SetPoints() + Numbers(65535) + YesNoThreeStateTexts());

    WidenColumn({ui.cbWr_Enabled},
                WidthForTexts(ui.cbWr_Enabled, {ui.cbWr_Enabled->text(), QStringLiteral("Вход используется"),
                                                QStringLiteral("Вход не используется")}));
    fit({ui.lbWr_OprosIntervalTxt, ui.lbWr_BoundTxt, ui.lbWr_PlantNumTxt}, {});
    WidenColumn({ui.cbWr_Fix}, WidthForTexts(ui.cbWr_Fix, {ui.cbWr_Fix->text()}));
    WidenColumn({ui.btWrite}, WidthForTexts(ui.btWrite, {ui.btWrite->text()}));

    for (int panel = 0; panel < StatusPanels_->Count(); ++panel) {
        static const QStringList texts[3] = {
            {QStringLiteral("COM")},
            {QStringLiteral("Состояние порта"), QStringLiteral("Открытие порта..."), QStringLiteral("Закрытие порта..."),
             QStringLiteral("Порт открыт"), QStringLiteral("Порт закрыт"), QStringLiteral("Не удалось открыть порт")},
            {QStringLiteral("Состояние опроса"), QStringLiteral("Опрос возобновлен"), QStringLiteral("Опрос остановлен")}};
        fit({StatusPanels_->Panel(panel)}, texts[panel]);
    }

    QTableWidget* grid = ui.asgInputs;
    WidenGridColumns(grid, [this](int column) { return InputColumnTexts(column); });
    WidenGridColumns(ui.asgCurChannel, [this](int column) {
        return column == 0 ? QStringList{QString::number(kSensorCount)}
                           : InputColumnTexts(column == 1 ? cells::kFirstTemper : cells::kFirstBound);
    });
    // The current-channel grid shows its three columns whole and the labels beside its rows
    // follow it.
    QTableWidget* channel = ui.asgCurChannel;
    const int channelWidth = channel->horizontalHeader()->length() + 2 * channel->frameWidth();
    WidenColumn({channel}, channelWidth);

    // The set-point caption stays over the set-point columns, and shows whole.
    QHeaderView* header = grid->horizontalHeader();
    int boundsWidth = 0;
    for (int column = cells::kFirstBound; column <= cells::kLastBound; ++column)
        boundsWidth += grid->columnWidth(column);
    const int captionWidth = std::max(boundsWidth, WidthForTexts(ui.lbBoundStates, {ui.lbBoundStates->text()}));
    ui.lbBoundStates->setGeometry(grid->frameWidth() + header->sectionPosition(cells::kFirstBound)
                                      - (captionWidth - boundsWidth) / 2,
                                  ui.lbBoundStates->y(), captionWidth, ui.lbBoundStates->height());

    for (QGroupBox* box : ui.Panel1->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
        KeepInsideFrame(box);

    FitWindowWidth();
}

void TFormMain::FitSignature()
{
    Ui::FormMain& ui = *Ui_;
    // The texts come from the controller: each column as wide as what it shows now needs.
    const auto fit = [](const QList<QLabel*>& labels) {
        int width = 0;
        for (QLabel* label : labels)
            width = std::max(width, WidthForTexts(label, {label->text()}));
        WidenColumn(QList<QWidget*>(labels.begin(), labels.end()), width);
    };
    fit({ui.lbManufact, ui.lbPlantNumber, ui.lbVerSoft, ui.lbVerHard, ui.lbSite});
    fit({ui.lbDevice, ui.lbDeviceName, ui.lbDeviceType, ui.lbCRC});
    KeepInsideFrame(ui.gbSignature);
    FitWindowWidth();
}

void TFormMain::FitWindowWidth()
{
    Ui::FormMain& ui = *Ui_;
    QTableWidget* grid = ui.asgInputs;
    QHeaderView* header = grid->horizontalHeader();
    // The window is as wide as its widest part needs, within the screen.
    int needed = header->length() + 2 * grid->frameWidth() + grid->verticalScrollBar()->sizeHint().width();
    // The boxes keep as much room at the right as at the left; a narrower window scrolls them.
    int boxes = 0;
    for (const QWidget* box : ui.Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        boxes = std::max(boxes, box->x() + box->width() + ui.gbModule->x());
    ui.Panel1->setMinimumWidth(boxes);
    needed = std::max(needed, boxes);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        needed = std::min(needed, screen->availableGeometry().width());
    if (needed > width())
        resize(needed, height());
}
