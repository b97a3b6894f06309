// Every text a label, a box or a grid column of the window can show fits in the width it gets, in
// the fonts installed here, on the X11 platform: the sizes of the form were drawn for another font.
#include "WindowFixture.h"
#include "X11Display.h"

#include "device/DeviceStates.h"
#include "device/VantorCodes.h"
#include "dialogs/FormViewConfig.h"
#include "dialogs/InputDialogs.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QStatusBar>
#include <QStyleOptionButton>

namespace {

// Room a child keeps from its group box's frame.
constexpr int kFrameRoom = 3;

// Every label, check box, button and list of window shows its text whole and lies inside the box
// that holds it; its grids' columns and captioned headers show theirs whole.
// A push button is never drawn narrower than 80 pixels by the style's own hint: what counts is
// the room inside its frame.
int NeededWidth(QWidget* control, const QString& text)
{
    auto* button = qobject_cast<QPushButton*>(control);
    if (!button)
        return control->sizeHint().width();
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = text;
    const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    return button->fontMetrics().horizontalAdvance(text) + button->width() - contents.width();
}

void ExpectNothingCutIn(QWidget* window)
{
    QApplication::sendPostedEvents();  // layouts that a new text asked for
    for (QWidget* control : window->findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(control))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(control); button && (qobject_cast<QCheckBox*>(button) || qobject_cast<QPushButton*>(button)))
            text = button->text();
        else if (auto* list = qobject_cast<QComboBox*>(control))
            text = list->currentText();
        if (text.isEmpty() || control->window() != window)
            continue;
        EXPECT_LE(NeededWidth(control, text), control->width())
            << control->objectName().toStdString() << " cuts \"" << text.toStdString() << '"';
        if (auto* box = qobject_cast<QGroupBox*>(control->parentWidget()); box && !box->layout()) {
            EXPECT_LE(control->x() + control->width() + kFrameRoom, box->width())
                << control->objectName().toStdString() << " reaches the frame of " << box->objectName().toStdString();
        }
    }
    for (QTableView* grid : window->findChildren<QTableView*>()) {
        QAbstractItemView* view = grid;  // the cells' own measure is public there
        for (int column = 0; column < grid->model()->columnCount(); ++column) {
            EXPECT_LE(view->sizeHintForColumn(column), grid->columnWidth(column))
                << grid->objectName().toStdString() << " column " << column << " cuts \""
                << grid->model()->index(0, column).data().toString().toStdString() << '"';
            if (grid->horizontalHeader()->isVisible()
                && !grid->model()->headerData(column, Qt::Horizontal).toString().isEmpty()) {
                EXPECT_LE(grid->horizontalHeader()->sectionSizeHint(column), grid->columnWidth(column))
                    << grid->objectName().toStdString() << " header " << column << " cuts its caption";
            }
        }
    }
}

class WindowTextWidths : public Window
{
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_X11();
        // No port: the window stays as it is shown, with nothing on the line.
        WriteSettings("/nonexistent/ttyS99", 20000);
        Open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    }

    void ExpectNothingCut(const std::string& when)
    {
        SCOPED_TRACE(when);
        ExpectNothingCutIn(Form.get());
    }

    // Input 1 is selected; its row and the current-input panel show what it holds now.
    void ShowInputOne()
    {
        Vantor()->CurrentInput = 1;
        Form->RefreshPolledGroup();
        Form->RefreshCurrentInput();
    }
};

TEST_F(WindowTextWidths, EveryTextTheWindowCanShowFitsItsPlace)
{
    ExpectNothingCut("as shown");
    TVantor& vantor = *Vantor();
    TVantorInput& input = vantor.Input(1);

    // The widest numbers the fields hold.
    input.Battery = 255;
    input.SoftVersion = 255;
    input.PlantNumber = 65535;
    input.Interval = 65535;
    input.CRC = QStringLiteral("FF FF");
    for (const double bound : {vantor::kSetPointMin, vantor::kSetPointMax, -2047.0 - 15.0 / 16}) {
        input.TemperBound.SetValue(bound);
        ShowInputOne();
        ExpectNothingCut("set-point " + std::to_string(bound));
    }
    // Every state of the exchange with the probe, of its use and of each sensor, with the widest
    // temperatures between them.
    for (int state = 0; state < input.OprosState.StatesDescription().States.size(); ++state) {
        input.OprosState.SetValue(state);
        ShowInputOne();
        ExpectNothingCut("exchange state " + std::to_string(state));
    }
    for (int state = 0; state <= 2; ++state) {
        input.ChannelEnabled.SetValue(state);
        ShowInputOne();
        ExpectNothingCut("in use " + std::to_string(state));
    }
    for (int state = 0; state <= 10; ++state) {
        for (int sensor = 0; sensor < kSensorCount; ++sensor) {
            input.TemperState[sensor].SetValue(state);
            input.Temper[sensor].SetValue(sensor % 2 ? vantor::kSetPointMin : -1000.0 - 15.0 / 16);
            input.Bound[sensor].SetValue(state % 3);
        }
        ShowInputOne();
        ExpectNothingCut("sensor state " + std::to_string(state));
    }

    // The controller: its address, error code, channel, exchange failures, service range and link.
    vantor.SetSystemAddress(247);
    vantor.Error.SetValue(255);
    vantor.FreqChannel = 255;
    for (int outcome = 0; !DeviceStateMessage(static_cast<TDeviceStates>(outcome)).isEmpty(); ++outcome) {
        vantor.ModuleError.Description().SetCaption(tsTrue, DeviceStateMessage(static_cast<TDeviceStates>(outcome)));
        vantor.ModuleError.SetValue(tsUnknown);
        vantor.ModuleError.SetValue(tsTrue);
        Form->RefreshPolledGroup();
        ExpectNothingCut("exchange failure " + std::to_string(outcome));
    }
    for (int range = 0; range <= 2; ++range) {
        vantor.ServiceRange = range;
        Form->ShowSystemAddress();
        ExpectNothingCut("service range " + std::to_string(range));
    }
    for (int baud = 0; baud <= 12; ++baud) {
        vantor.ModbusBaud = baud;
        vantor.ModbusParity = baud % 3;
        Form->ShowModbusParams();
        ExpectNothingCut("Modbus link " + std::to_string(baud));
    }

    // The signature as the simulator's controller gives it.
    vantor.Manufacturer = QStringLiteral("НПП \"Вантор\"");
    vantor.Site = QStringLiteral("Силосный корпус № 1");
    vantor.Device = QStringLiteral("Vantor-192");
    vantor.DeviceName = QStringLiteral("Контроллер термоподвесок");
    vantor.CRC = QStringLiteral("3F7A0C");
    Form->ShowSignature();
    ExpectNothingCut("signature");
    // A caption and its value are apart by a space at least.
    const auto* caption = Control<QLabel>("lbFreqChannelTxt");
    EXPECT_GE(Control<QLabel>("lbFreqChannel")->x() - caption->x() - caption->contentsMargins().left(),
              caption->fontMetrics().horizontalAdvance(caption->text() + u' '));

    // The status bar: the port that does not open, polling on and off.
    Action(QStringLiteral("actPortOpen"))->trigger();
    ExpectNothingCut("port failed");
    PollTimer()->Start();
    ExpectNothingCut("polling");
    PollTimer()->Stop();
    ExpectNothingCut("polling stopped");
}

TEST_F(WindowTextWidths, TheSetPointCaptionStandsOverTheSetPointColumns)
{
    auto* grid = Grid();
    auto* caption = Control<QLabel>("lbBoundStates");
    const int first = grid->frameWidth() + grid->horizontalHeader()->sectionPosition(12);
    const int last = grid->frameWidth() + grid->horizontalHeader()->sectionPosition(17) + grid->columnWidth(17);
    EXPECT_LE(caption->x(), first);
    EXPECT_GE(caption->x() + caption->width(), last);
    // Centred: as much over the left as over the right.
    EXPECT_LE(std::abs((first - caption->x()) - (caption->x() + caption->width() - last)), 1);
}

}  // namespace

namespace {

// Each dialog as the window's commands open it, with the widest values it can be given.
TEST(DialogTextWidths, EveryDialogShowsItsTextsWhole)
{
    SKIP_WITHOUT_X11();
    TestFolder folder;
    const auto check = [](const char* form, const std::function<void()>& open) {
        SCOPED_TRACE(form);
        bool seen = false;
        OnModal(form, [&seen](QWidget* dialog) {
            if (QTest::qWaitForWindowExposed(dialog))
                ExpectNothingCutIn(dialog);
            seen = true;
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        open();
        EXPECT_TRUE(seen);
    };
    for (const char* prompt : {"Период опроса, мс [300, 20000]", "Системный адрес Vantor",
                               "Новый заводской номер прибора", "Заводской номер прибора"})
        check("TFormInputInteger", [prompt] { InputInteger(QStringLiteral("Введите"), QString::fromUtf8(prompt), 20000, 1, 20000); });
    check("TFormInputSystemAddress", [] {
        quint16 plant = 65535;
        bool ok = false;
        quint8 current = 255;
        InputSystemAddress(247, 1, 247, plant, ok, current);
    });
    for (quint8 code = 0; code <= 12; ++code)
        check("TFormInputModbusParams", [code] {
            quint8 baud = code, parity = code % 3;
            InputModbusParams(baud, parity);
        });
    check("TFormAbout", [] { ShowAbout(); });
    folder.Write("DATA/PN65535.txt", "1   PNum:65535 Bound:-2047,938 Period:65535  Enabled:1\r\n"
                                     "192 PNum:0     Bound:2047,938  Period:0  Enabled:0\r\n");
    check("TFormViewConfig", [&folder] { ShowConfigView(folder.Path(QStringLiteral("DATA/PN65535.txt"))); });
}

}  // namespace
