// Every text a label, a box or a grid column of the window can show fits in the width it gets, in
// the fonts installed here, on the X11 platform: the sizes of the form were drawn for another font.
#include "WindowFixture.h"
#include "X11Display.h"

#include "device/DeviceStates.h"
#include "device/VantorCodes.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QStatusBar>

namespace {

// Room a child keeps from its group box's frame.
constexpr int kFrameRoom = 3;

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

    // Every label, check box and button of the window shows its text whole and lies inside the
    // box that holds it; the grids' columns and headers show theirs whole.
    void ExpectNothingCut(const std::string& when)
    {
        SCOPED_TRACE(when);
        QList<QWidget*> controls;
        for (QLabel* label : Form->findChildren<QLabel*>())
            controls << label;
        for (QAbstractButton* button : Form->findChildren<QAbstractButton*>())
            if (qobject_cast<QCheckBox*>(button) || qobject_cast<QPushButton*>(button))
                controls << button;
        for (QWidget* control : controls) {
            const QString text = qobject_cast<QLabel*>(control) ? static_cast<QLabel*>(control)->text()
                                                                 : static_cast<QAbstractButton*>(control)->text();
            if (text.isEmpty() || control->window() != Form.get())
                continue;
            EXPECT_LE(control->sizeHint().width(), control->width())
                << control->objectName().toStdString() << " cuts \"" << text.toStdString() << '"';
            if (auto* box = qobject_cast<QGroupBox*>(control->parentWidget()); box && !box->layout())
                EXPECT_LE(control->x() + control->width() + kFrameRoom, box->width())
                    << control->objectName().toStdString() << " reaches the frame of " << box->objectName().toStdString();
        }
        for (const char* name : {"asgInputs", "asgCurChannel"}) {
            auto* grid = Control<QTableWidget>(name);
            QAbstractItemView* view = grid;  // the cells' own measure is public there
            for (int column = 0; column < grid->columnCount(); ++column) {
                EXPECT_LE(view->sizeHintForColumn(column), grid->columnWidth(column))
                    << name << " column " << column << " cuts \"" << grid->item(0, column)->text().toStdString() << '"';
                if (grid->horizontalHeader()->isVisible() && !grid->model()->headerData(column, Qt::Horizontal).toString().isEmpty())
                    EXPECT_LE(grid->horizontalHeader()->sectionSizeHint(column), grid->columnWidth(column))
                        << name << " header " << column << " cuts its caption";
            }
        }
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
