#include "app/CurrentInputPanel.h"

#include "app/CellColorDelegate.h"
#include "app/InputsGrid.h"
#include "app/LabelView.h"
#include "app/WriteFields.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "station/InputCells.h"

#include "ui_FormMain.h"

#include <QHeaderView>

#include <utility>

namespace {

// What a label shows for a value never read.
const QString kUnread = QStringLiteral("_ _");

constexpr int kSensorRows = kSensorCount;
const int kSensorColumnWidths[3] = {20, 34, 14};

const TVantorInput* InputOrNull(int n)
{
    TVantor* vantor = Vantor();
    return vantor && n >= 1 && n <= vantor::kInputCount ? &vantor->Input(n) : nullptr;
}

}  // namespace

TCurrentInputPanel::TCurrentInputPanel(Ui::FormMain& ui, QWidget* form, std::function<unsigned(int input)> rising)
    : Ui_(ui), Form_(form), Rising_(std::move(rising))
{
    SetupSensorsGrid();
    WriteFields_ = std::make_unique<TWriteFields>(Ui_.cbWr_Enabled, Ui_.eiWr_OprosInterval, Ui_.enWr_Bound,
                                                  Ui_.eiWr_PlantNum);
    connect(Ui_.cbWr_Enabled, &QCheckBox::clicked, this, [this] { EnabledClick(); });
    connect(Ui_.cbWr_Fix, &QCheckBox::clicked, this, [this] { FixClick(); });
    SelectedInput_ = std::make_unique<TiodIntegerToInteger>();
    SelectedInput_->SetValue(0);
    SelectedInput_->OnChange = [this](TIOData*) { Refresh(); };
}

TCurrentInputPanel::~TCurrentInputPanel()
{
    Close();
}

void TCurrentInputPanel::Close()
{
    if (!SelectedInput_)
        return;
    SelectedInput_->OnChange = nullptr;
    SelectedInput_.reset();
}

void TCurrentInputPanel::SetupSensorsGrid()
{
    QTableWidget* channel = Ui_.asgCurChannel;
    channel->setColumnCount(3);
    channel->setRowCount(kSensorRows);
    channel->horizontalHeader()->hide();
    channel->verticalHeader()->hide();
    channel->verticalHeader()->setDefaultSectionSize(17);
    channel->verticalHeader()->setMinimumSectionSize(17);
    channel->horizontalHeader()->setMinimumSectionSize(1);
    for (int column = 0; column < 3; ++column)
        channel->setColumnWidth(column, kSensorColumnWidths[column]);
    channel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    channel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    channel->setSelectionMode(QAbstractItemView::NoSelection);
    channel->setEditTriggers(QAbstractItemView::NoEditTriggers);
    channel->setFocusPolicy(Qt::NoFocus);
    channel->setTextElideMode(Qt::ElideNone);
    channel->setStyleSheet(QStringLiteral("QTableView { gridline-color: silver; } QTableView::item { padding: 0px; }"));
    QPalette face = channel->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    channel->setPalette(face);
    FillWithItems(channel);
    channel->setItemDelegate(new TCellColorDelegate(
        [this](const QModelIndex& index) -> std::optional<TColor> {
            const int n = Selected();
            const TVantorInput* input = InputOrNull(n);
            return input ? CurChannelCellColor(*input, index.row(), index.column(), Rising_ ? Rising_(n) : 0)
                         : std::nullopt;
        },
        channel));
    channel->setEnabled(false);
}

int TCurrentInputPanel::Selected() const
{
    return SelectedInput_ ? SelectedInput_->GetOutValue().ToInteger() : 0;
}

void TCurrentInputPanel::Select(int n)
{
    if (SelectedInput_ && n >= 1 && n <= vantor::kInputCount)
        SelectedInput_->SetValue(n);
}

void TCurrentInputPanel::NumberRows()
{
    for (int row = 0; row < kSensorRows; ++row)
        Ui_.asgCurChannel->item(row, 0)->setText(QString::number(kSensorCount - row));
}

void TCurrentInputPanel::Refresh()
{
    try {
        const int n = Selected();
        const TVantorInput* found = InputOrNull(n);
        if (!found)
            return;
        const TVantorInput& input = *found;
        Ui_.gbCurrInput->setTitle(QStringLiteral("Текущий вход ") + QString::number(n));
        Ui_.gbWriteInput->setTitle(QStringLiteral("Запись настроек входа ") + QString::number(n));
        Ui_.actInputPrev->setEnabled(n > 1);
        Ui_.actInputNext->setEnabled(n < vantor::kInputCount);
        Ui_.lbCh_OprosState->setText(input.ExchangeCaption());
        SetFontColor(Ui_.lbCh_OprosState, input.ExchangeColor());
        Ui_.lbCh_Battery->setText(QString::number(input.Battery));
        Ui_.lbCh_SoftVersion->setText(QString::number(input.SoftVersion));
        Ui_.lbCh_PlantNumber->setText(QString::number(input.PlantNumber));
        Ui_.lbCh_CRC->setText(CrcLabelText(input));
        Ui_.lbCh_Time->setText(InputCellText(input, cells::kTime));
        Ui_.lbCh_Bound->setText(input.SettingsKnown ? input.TemperBound.ValueText() : kUnread);
        Ui_.lbCh_Interval->setText(input.SettingsKnown ? QString::number(input.Interval) : kUnread);
        Ui_.lbCh_Enabled->setText(EnabledText(input));
        SetFontColor(Ui_.lbCh_Enabled, input.ChannelEnabled.StateColor());
        for (int row = 0; row < kSensorRows; ++row)
            for (int column = 1; column <= 2; ++column)
                Ui_.asgCurChannel->item(row, column)->setText(CurChannelCellText(input, row, column));
        Ui_.asgCurChannel->viewport()->update();
        for (int i = 1; i <= kSensorCount; ++i)
            if (auto* label = Form_->findChild<QLabel*>(QStringLiteral("lbCh_State") + QString::number(i))) {
                label->setText(SensorLabelText(input, i));
                SetFontColor(label, input.TemperState[i - 1].StateColor());
            }
        if (!Ui_.cbWr_Fix->isChecked())
            LoadWriteFields();
    } catch (...) {
        // The panel stays as it was.
    }
}

void TCurrentInputPanel::RiseChanged(int n)
{
    if (Selected() == n)
        Ui_.asgCurChannel->viewport()->update();
}

std::optional<TInputSettings> TCurrentInputPanel::Settings()
{
    return WriteFields_->Settings();
}

void TCurrentInputPanel::LoadWriteFields()
{
    const TVantorInput* input = InputOrNull(Selected());
    if (!input)
        return;
    WriteFields_->Load(*input);
    // Setting the box names it as a click would.
    EnabledClick();
}

void TCurrentInputPanel::EnabledClick()
{
    const Qt::CheckState state = Ui_.cbWr_Enabled->checkState();
    Ui_.cbWr_Enabled->setText(state == Qt::PartiallyChecked ? QStringLiteral("Использование: ") + kUnread
                              : state == Qt::Checked        ? QStringLiteral("Вход используется")
                                                            : QStringLiteral("Вход не используется"));
}

void TCurrentInputPanel::FixClick()
{
    try {
        if (!Ui_.cbWr_Fix->isChecked())
            LoadWriteFields();
    } catch (...) {
    }
}
