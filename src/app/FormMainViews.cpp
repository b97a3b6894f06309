#include "app/FormMain.h"

#include "app/AlarmLines.h"
#include "app/CellColorDelegate.h"
#include "app/InputCells.h"
#include "app/LabelView.h"
#include "app/ProtocolTexts.h"
#include "app/VantorVisual.h"
#include "app/WriteFields.h"
#include "common/OperatorMessage.h"
#include "device/DisplayTables.h"
#include "device/Exchange.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/RiseMonitor.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "transport/PortWatch.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"
#include "values/Switches.h"

#include "ui_FormMain.h"

#include <QAccessible>
#include <QGroupBox>
#include <QHeaderView>

#include <algorithm>

namespace {

const int kInputWidths[cells::kColumnCount] = {30, 147, 55, 30, 45, 65, 38, 38, 38, 38, 38, 38,
                                               23, 23,  23, 23, 23, 23, 8,  53, 50, 31, 8,  106};
// Each inputs-grid cell holds its font colour beside its text, set when the row is refreshed: a
// cell is drawn again only when one of the two changed.
constexpr int kColorRole = Qt::UserRole;

// The columns a poll refreshes: the number and the spacers stay.
bool IsPolledColumn(int column)
{
    return column != 0 && column != 18 && column != 22;
}

// A row's changed columns are kept as bits.
static_assert(cells::kColumnCount <= 32);

// Tells whether the cell's data changed; an unchanged one is left alone.
bool SetCell(QTableWidgetItem* item, int role, const QVariant& value)
{
    if (item->data(role) == value)
        return false;
    item->setData(role, value);
    return true;
}

// What a label shows for a value never read.
const QString kUnread = QStringLiteral("_ _");

// Status bar panels 0..2; the first grows with its port path.
constexpr int kStatusWidths[3] = {50, 145, 120};

constexpr int kCurChannelRows = kSensorCount;
const int kCurChannelWidths[3] = {20, 34, 14};

const TVantorInput* InputOrNull(int n)
{
    TVantor* vantor = Vantor();
    return vantor && n >= 1 && n <= vantor::kInputCount ? &vantor->Input(n) : nullptr;
}

void FillWithItems(QTableWidget* grid)
{
    for (int row = 0; row < grid->rowCount(); ++row)
        for (int column = 0; column < grid->columnCount(); ++column) {
            auto* item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grid->setItem(row, column, item);
        }
}

void WriteAlarm(const QString& line)
{
    if (line.isEmpty())
        return;
    if (TAlarm* alarm = AlarmLog())
        alarm->WriteLine(line);
}

}  // namespace

void TFormMain::SetupGrids()
{
    SetupInputsGrid();
    SetupCurChannelGrid();
    SetupProtocolFields();
    WriteFields_ = std::make_unique<TWriteFields>(Ui_->cbWr_Enabled, Ui_->eiWr_OprosInterval, Ui_->enWr_Bound,
                                                  Ui_->eiWr_PlantNum);
    connect(Ui_->cbWr_Enabled, &QCheckBox::clicked, this, [this] { cbWr_EnabledClick(); });
    connect(Ui_->cbWr_Fix, &QCheckBox::clicked, this, [this] { cbWr_FixClick(); });
    SetupStatusPanels();
    FitTextWidths();
}

void TFormMain::SetupInputsGrid()
{
    QTableWidget* grid = Ui_->asgInputs;
    grid->setColumnCount(cells::kColumnCount);
    grid->setRowCount(vantor::kInputCount);
    grid->setHorizontalHeaderLabels(InputColumnHeaders());
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    grid->setFont(font);
    // The toolkit's least section width, taken from the font, would widen the spacers and the
    // set-point columns beyond the form's widths.
    grid->horizontalHeader()->setMinimumSectionSize(1);
    for (int column = 0; column < cells::kColumnCount; ++column)
        grid->setColumnWidth(column, kInputWidths[column]);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(22);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setStyleSheet(QStringLiteral("QTableView { gridline-color: silver; }"));
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideNone);
    FillWithItems(grid);
    // The number column stands for the grid's fixed column.
    for (int row = 0; row < grid->rowCount(); ++row)
        grid->item(row, 0)->setBackground(palette().button());
    grid->setItemDelegate(new TCellColorDelegate(
        [](const QModelIndex& index) -> std::optional<TColor> {
            const QVariant color = index.data(kColorRole);
            return color.isValid() ? std::optional<TColor>(color.toInt()) : std::nullopt;
        },
        grid));
    connect(grid, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { asgInputsSelectCell(row + 1); });
}

void TFormMain::SetupCurChannelGrid()
{
    QTableWidget* channel = Ui_->asgCurChannel;
    channel->setColumnCount(3);
    channel->setRowCount(kCurChannelRows);
    channel->horizontalHeader()->hide();
    channel->verticalHeader()->hide();
    channel->verticalHeader()->setDefaultSectionSize(17);
    channel->verticalHeader()->setMinimumSectionSize(17);
    channel->horizontalHeader()->setMinimumSectionSize(1);
    for (int column = 0; column < 3; ++column)
        channel->setColumnWidth(column, kCurChannelWidths[column]);
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
            const int n = SelectedInput_ ? SelectedInput_->GetOutValue().ToInteger() : 0;
            const TVantorInput* input = InputOrNull(n);
            return input ? CurChannelCellColor(*input, index.row(), index.column(),
                                               RiseMonitor_ ? RiseMonitor_->RisingMask(n) : 0)
                         : std::nullopt;
        },
        channel));
    channel->setEnabled(false);
}

void TFormMain::SetupProtocolFields()
{
    // A command name of a new length would lay the window out again at every exchange; filling its
    // own background keeps the group box and the window under it from being repainted too. The
    // style draws a group box's inside from an image, so its colour is taken from a drawn one.
    Ui_->lbCommand->setFixedSize(600, Ui_->lbCommand->sizeHint().height());
    QGroupBox sample;
    sample.resize(64, 64);
    QPalette inside = Ui_->lbCommand->palette();
    inside.setColor(QPalette::Window, sample.grab().toImage().pixelColor(32, 48));
    Ui_->lbCommand->setPalette(inside);
    // Flat read-only fields in the button-face colour.
    for (TFrameField* field : {Ui_->eReq, Ui_->eAns}) {
        QPalette face = field->palette();
        face.setColor(QPalette::Base, face.color(QPalette::Button));
        field->setPalette(face);
    }
}

void TFormMain::SetupStatusPanels()
{
    // Status bar panels 0..2: port, port state, poll state.
    const QString texts[3] = {QStringLiteral("COM"), QStringLiteral("Состояние порта"),
                              QStringLiteral("Состояние опроса")};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(texts[i], Ui_->StatusBarMain);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // A port path is longer than a Windows port name: the first panel grows to show it.
        panel->setMinimumWidth(kStatusWidths[i]);
        if (i > 0)
            panel->setMaximumWidth(kStatusWidths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        Ui_->StatusBarMain->addWidget(panel);
        StatusPanels_.push_back(panel);
    }
}

void TFormMain::NumberRows()
{
    for (int n = 1; n <= vantor::kInputCount; ++n)
        Ui_->asgInputs->item(n - 1, 0)->setText(QString::number(n));
    for (int row = 0; row < kCurChannelRows; ++row)
        Ui_->asgCurChannel->item(row, 0)->setText(QString::number(kSensorCount - row));
}

void TFormMain::RefreshPolledGroup()
{
    const TVantor* vantor = Vantor();
    RefreshGroup(vantor ? vantor->CurrentInput.load() : 0);
}

void TFormMain::RefreshGroup(int g)
{
    try {
        if (Visual_)
            Visual_->RefreshAll();
        if (g < 1 || g >= vantor::kInputCount)
            return;
        for (int n = g; n < g + vantor::kGroupSize && n <= vantor::kInputCount; ++n)
            FillInputRow(n);
        const int selected = SelectedInput_ ? SelectedInput_->GetOutValue().ToInteger() : 0;
        if (selected >= g && selected < g + vantor::kGroupSize)
            RefreshCurrentInput();
    } catch (...) {
        // The rest of the screen stays as it was.
    }
}

void TFormMain::FillInputRow(int n)
{
    const TVantorInput& input = Vantor()->Input(n);
    QTableWidget* grid = Ui_->asgInputs;
    // Some twenty cells of a polled row change at every cycle, and the model's notice of each
    // costs more than the change: they are written with the model quiet, and the view is told of
    // those that changed. An assistive technology follows the notices, so it keeps them.
    const bool quiet = !QAccessible::isActive();
    quint32 changed = 0;
    {
        const QSignalBlocker blocker(quiet ? grid->model() : nullptr);
        for (int column = 1; column < cells::kColumnCount; ++column)
            if (IsPolledColumn(column) && SetCell(grid->item(n - 1, column), Qt::DisplayRole, InputCellText(input, column)))
                changed |= 1u << column;
        changed |= ShowInputRowColors(n);
    }
    for (int column = 1; quiet && column < cells::kColumnCount; ++column)
        if (changed & (1u << column))
            grid->update(grid->model()->index(n - 1, column));
}

void TFormMain::InputsStaleChange()
{
    try {
        TVantor* vantor = Vantor();
        if (!vantor)
            return;
        if (Visual_)
            Visual_->RefreshAll();
        QTableWidget* grid = Ui_->asgInputs;
        for (int n = 1; n <= vantor::kInputCount; ++n) {
            // Rows never polled stay empty.
            QTableWidgetItem* item = grid->item(n - 1, cells::kOprosState);
            if (item && !item->text().isEmpty()) {
                item->setText(InputCellText(vantor->Input(n), cells::kOprosState));
                ShowInputRowColors(n);
            }
        }
        RefreshCurrentInput();
    } catch (...) {
        // The rest of the screen stays as it was.
    }
}

quint32 TFormMain::ShowInputRowColors(int n)
{
    const TVantorInput* input = InputOrNull(n);
    if (!input)
        return 0;
    const unsigned rising = RiseMonitor_ ? RiseMonitor_->RisingMask(n) : 0;
    QTableWidget* grid = Ui_->asgInputs;
    quint32 changed = 0;
    for (int column = 1; column < cells::kColumnCount; ++column) {
        const std::optional<TColor> color = InputCellColor(*input, column, rising);
        if (SetCell(grid->item(n - 1, column), kColorRole, color ? QVariant(*color) : QVariant()))
            changed |= 1u << column;
    }
    return changed;
}

void TFormMain::RefreshCurrentInput()
{
    try {
        const int n = SelectedInput_ ? SelectedInput_->GetOutValue().ToInteger() : 0;
        const TVantorInput* found = InputOrNull(n);
        if (!found)
            return;
        const TVantorInput& input = *found;
        Ui_->gbCurrInput->setTitle(QStringLiteral("Текущий вход ") + QString::number(n));
        Ui_->gbWriteInput->setTitle(QStringLiteral("Запись настроек входа ") + QString::number(n));
        Ui_->actInputPrev->setEnabled(n > 1);
        Ui_->actInputNext->setEnabled(n < vantor::kInputCount);
        Ui_->lbCh_OprosState->setText(input.ExchangeCaption());
        SetFontColor(Ui_->lbCh_OprosState, input.ExchangeColor());
        Ui_->lbCh_Battery->setText(QString::number(input.Battery));
        Ui_->lbCh_SoftVersion->setText(QString::number(input.SoftVersion));
        Ui_->lbCh_PlantNumber->setText(QString::number(input.PlantNumber));
        Ui_->lbCh_CRC->setText(CrcLabelText(input));
        Ui_->lbCh_Time->setText(InputCellText(input, cells::kTime));
        Ui_->lbCh_Bound->setText(input.SettingsKnown ? input.TemperBound.ValueText() : kUnread);
        Ui_->lbCh_Interval->setText(input.SettingsKnown ? QString::number(input.Interval) : kUnread);
        Ui_->lbCh_Enabled->setText(EnabledText(input));
        SetFontColor(Ui_->lbCh_Enabled, input.ChannelEnabled.StateColor());
        for (int row = 0; row < kCurChannelRows; ++row)
            for (int column = 1; column <= 2; ++column)
                Ui_->asgCurChannel->item(row, column)->setText(CurChannelCellText(input, row, column));
        Ui_->asgCurChannel->viewport()->update();
        for (int i = 1; i <= kSensorCount; ++i)
            if (auto* label = findChild<QLabel*>(QStringLiteral("lbCh_State") + QString::number(i))) {
                label->setText(SensorLabelText(input, i));
                SetFontColor(label, input.TemperState[i - 1].StateColor());
            }
        if (!Ui_->cbWr_Fix->isChecked())
            LoadWriteFields();
    } catch (...) {
        // The panel stays as it was.
    }
}

void TFormMain::LoadWriteFields()
{
    const TVantorInput* input = InputOrNull(SelectedInput_ ? SelectedInput_->GetOutValue().ToInteger() : 0);
    if (!input)
        return;
    WriteFields_->Load(*input);
    // Setting the box names it as a click would.
    cbWr_EnabledClick();
}

void TFormMain::asgInputsSelectCell(int row)
{
    if (SelectedInput_ && row >= 1 && row <= vantor::kInputCount)
        SelectedInput_->SetValue(row);
}

void TFormMain::cbWr_EnabledClick()
{
    const Qt::CheckState state = Ui_->cbWr_Enabled->checkState();
    Ui_->cbWr_Enabled->setText(state == Qt::PartiallyChecked ? QStringLiteral("Использование: ") + kUnread
                               : state == Qt::Checked        ? QStringLiteral("Вход используется")
                                                             : QStringLiteral("Вход не используется"));
}

void TFormMain::cbWr_FixClick()
{
    try {
        if (!Ui_->cbWr_Fix->isChecked())
            LoadWriteFields();
    } catch (...) {
    }
}

void TFormMain::DeviceRequest(const QString& command, const QByteArray& request, const QByteArray& answer)
{
    ++RequestCount;
    if (!answer.isEmpty())
        ++AnswerCount;
    LastExchange_ = {command, request, answer};
    // A cycle's exchanges follow one another faster than anyone reads them, and drawing the long
    // frame texts costs the UI thread more than the rest of the cycle: while a cycle runs, its
    // last exchange is shown when it ends.
    if (const TRequestThread* thread = RequestThread(); thread && thread->Busy()) {
        ExchangePending_ = true;
        return;
    }
    ShowLastExchange();
}

void TFormMain::ShowLastExchange()
{
    ExchangePending_ = false;
    Ui_->lbCommand->setText(LastExchange_.Command);
    Ui_->eReq->setText(FrameText(LastExchange_.Request, LogRadix));
    Ui_->eAns->setText(LastExchange_.Answer.isEmpty() ? QStringLiteral("Нет ответа")
                                                      : FrameText(LastExchange_.Answer, LogRadix));
    ShowStatistics();
}

void TFormMain::ResetStatistics()
{
    RequestCount = 0;
    AnswerCount = 0;
    ExchangePending_ = false;
    Ui_->eReq->clear();
    Ui_->eAns->clear();
    Ui_->lbCommand->setText(QStringLiteral("_ _"));
    ShowStatistics();
}

void TFormMain::ShowStatistics()
{
    Ui_->lblReqCount->setText(QString::number(RequestCount));
    Ui_->lblAnsCount->setText(QString::number(AnswerCount));
    Ui_->lblReqPercent->setText(PercentText(RequestCount, RequestCount));
    Ui_->lblAnsPercent->setText(PercentText(AnswerCount, RequestCount));
}

void TFormMain::ShowSystemAddress()
{
    try {
        const TVantor* vantor = Vantor();
        if (!vantor)
            return;
        Ui_->lbSystemAddress->setText(QString::number(vantor->SystemAddress()));
        Ui_->lbServiceOpened->setText(ServiceRangeTexts().value(vantor->ServiceRange));
    } catch (...) {
    }
}

void TFormMain::ShowSignature()
{
    try {
        const TVantor* vantor = Vantor();
        if (!vantor)
            return;
        Ui_->lbManufact->setText(vantor->Manufacturer);
        Ui_->lbPlantNumber->setText(QString::number(vantor->PlantNumber));
        Ui_->lbVerSoft->setText(QString::number(vantor->VerSoft));
        Ui_->lbVerHard->setText(QString::number(vantor->VerHard));
        Ui_->lbSite->setText(vantor->Site);
        Ui_->lbDevice->setText(vantor->Device);
        Ui_->lbDeviceName->setText(vantor->DeviceName);
        Ui_->lbDeviceType->setText(QString::number(vantor->DeviceType));
        Ui_->lbCRC->setText(vantor->CRC);
    } catch (...) {
    }
}

void TFormMain::ShowModbusParams()
{
    try {
        const TVantor* vantor = Vantor();
        if (!vantor)
            return;
        Ui_->lbModbusSpeed->setText(BaudTexts().value(vantor->ModbusBaud));
        Ui_->lbModbusParity->setText(ParityTexts().value(vantor->ModbusParity));
    } catch (...) {
    }
}

void TFormMain::ApplyViewMode()
{
    const bool full = FullMode;
    QRect module = Ui_->gbModule->geometry();
    module.setHeight(full ? 69 : 109);
    Ui_->gbModule->setGeometry(module);
    // gbTransmission fills what the statistics box leaves free.
    for (QWidget* widget : {static_cast<QWidget*>(Ui_->gbStatistics), static_cast<QWidget*>(Ui_->gbModbus),
                            static_cast<QWidget*>(Ui_->lbServiceOpenedTxt), static_cast<QWidget*>(Ui_->lbServiceOpened)})
        widget->setVisible(full);
    Ui_->mmCommands->menuAction()->setVisible(full);
    Ui_->mmModbus->menuAction()->setVisible(full);
    for (QAction* action : {Ui_->actClearStatistics, Ui_->actCommServiceOpen, Ui_->actCommServiceClose,
                            Ui_->actCommUpdateProgr, Ui_->actReadModbusParams, Ui_->actWriteModbusParams,
                            Ui_->actWriteSignPlantNum})
        action->setVisible(full);
}

QString TFormMain::StatusText(int panel) const
{
    return panel >= 0 && panel < int(StatusPanels_.size()) ? StatusPanels_[panel]->text() : QString();
}

void TFormMain::SetStatus(int panel, const QString& text)
{
    if (panel < 0 || panel >= int(StatusPanels_.size()))
        return;
    QLabel* label = StatusPanels_[panel];
    label->setText(text);
    // A text with a port path in it ("Порт отключен: /dev/serial/by-id/...") widens its panel
    // for as long as it is shown.
    if (panel > 0)
        label->setMaximumWidth(std::max(label->minimumWidth(), label->sizeHint().width()));
}

void TFormMain::PortBeforeOpen(TCustomComPort*)
{
    SetStatus(1, QStringLiteral("Открытие порта..."));
}

void TFormMain::PortBeforeClose(TCustomComPort*)
{
    SetStatus(1, QStringLiteral("Закрытие порта..."));
}

void TFormMain::PortAfterOpen(TCustomComPort*)
{
    ShowPortState();
}

void TFormMain::PortAfterClose(TCustomComPort*)
{
    ShowPortState();
}

void TFormMain::PortVanished(TCustomComPort* sender)
{
    ShowPortState();
    WriteAlarm(PortVanishedText(sender->Port()));
}

void TFormMain::PortReturned(TCustomComPort* sender)
{
    ShowPortState();
    WriteAlarm(PortReturnedText(sender->Port()));
    quint16 expected = 0, found = 0;
    if (!SameControllerAfterReturn(expected, found)) {
        if (const TVantor* vantor = Vantor())
            WriteAlarm(OtherControllerText(vantor->Title, expected, found));
        UpdateActions();
    }
}

void TFormMain::PortWaiting(const QString& why)
{
    SetStatus(1, why);
    WriteAlarm(why);
}

void TFormMain::ShowPortState()
{
    const TTransmitter* transmitter = Transmitter();
    if (transmitter && transmitter->Connected() && transmitter->DeviceAway())
        SetStatus(1, PortVanishedText(transmitter->Port()));
    else
        SetStatus(1, transmitter && transmitter->Connected() ? QStringLiteral("Порт открыт") : QStringLiteral("Порт закрыт"));
}

void TFormMain::ShowPollState(TCustomTimer* sender)
{
    SetStatus(2, sender && sender->Enabled() ? QStringLiteral("Опрос возобновлен") : QStringLiteral("Опрос остановлен"));
}

void TFormMain::ShowPollHeld()
{
    const QString reason = PollHeldReason();
    SetStatus(2, reason);
    if (const TVantor* vantor = Vantor())
        WriteAlarm(vantor->Title + u' ' + reason);
}

void TFormMain::ModuleErrorChange()
{
    try {
        if (const TVantor* vantor = Vantor())
            WriteAlarm(ModuleErrorLine(*vantor));
    } catch (...) {
        ShowDiagnostic(QStringLiteral("Функция"), QStringLiteral("VANTOROnModuleError"));
    }
}

void TFormMain::ErrorCodeChange()
{
    try {
        if (const TVantor* vantor = Vantor())
            WriteAlarm(ErrorCodeLine(*vantor));
    } catch (...) {
    }
}

void TFormMain::InputStateChange(int n)
{
    try {
        if (const TVantorInput* input = InputOrNull(n))
            WriteAlarm(InputStateLine(*input));
    } catch (...) {
    }
}

void TFormMain::SensorStateChange(int n, int sensor)
{
    try {
        if (const TVantorInput* input = InputOrNull(n))
            WriteAlarm(SensorStateLine(*input, sensor));
    } catch (...) {
    }
}
