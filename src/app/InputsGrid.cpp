#include "app/InputsGrid.h"

#include "app/CellColorDelegate.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "station/InputCells.h"

#include <QAccessible>
#include <QHeaderView>
#include <QTableWidget>

#include <algorithm>
#include <utility>

namespace {

const int kInputWidths[cells::kColumnCount] = {30, 147, 55, 30, 45, 65, 38, 38, 38, 38, 38, 38,
                                               23, 23,  23, 23, 23, 23, 8,  53, 50, 31, 8,  106};
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

const TVantorInput* InputOrNull(int n)
{
    TVantor* vantor = Vantor();
    return vantor && n >= 1 && n <= vantor::kInputCount ? &vantor->Input(n) : nullptr;
}

}  // namespace

void FillWithItems(QTableWidget* grid)
{
    for (int row = 0; row < grid->rowCount(); ++row)
        for (int column = 0; column < grid->columnCount(); ++column) {
            auto* item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grid->setItem(row, column, item);
        }
}

TInputsGrid::TInputsGrid(QTableWidget* grid, std::function<unsigned(int input)> rising)
    : Grid_(grid), Rising_(std::move(rising))
{
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
        grid->item(row, 0)->setBackground(grid->window()->palette().button());
    grid->setItemDelegate(new TCellColorDelegate(
        [](const QModelIndex& index) -> std::optional<TColor> {
            const QVariant color = index.data(kColorRole);
            return color.isValid() ? std::optional<TColor>(color.toInt()) : std::nullopt;
        },
        grid));
    connect(grid, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (OnSelect && row + 1 >= 1 && row + 1 <= vantor::kInputCount)
            OnSelect(row + 1);
    });
}

void TInputsGrid::NumberRows()
{
    for (int n = 1; n <= vantor::kInputCount; ++n)
        Grid_->item(n - 1, 0)->setText(QString::number(n));
}

void TInputsGrid::FillRow(int n)
{
    const TVantorInput* input = InputOrNull(n);
    if (!input)
        return;
    // Some twenty cells of a polled row change at every cycle, and the model's notice of each
    // costs more than the change: they are written with the model quiet, and the view is told of
    // those that changed. An assistive technology follows the notices, so it keeps them.
    const bool quiet = !QAccessible::isActive();
    quint32 changed = 0;
    {
        const QSignalBlocker blocker(quiet ? Grid_->model() : nullptr);
        for (int column = 1; column < cells::kColumnCount; ++column)
            if (IsPolledColumn(column)
                && SetCell(Grid_->item(n - 1, column), Qt::DisplayRole, InputCellText(*input, column)))
                changed |= 1u << column;
        changed |= ShowRowColors(n);
    }
    for (int column = 1; quiet && column < cells::kColumnCount; ++column)
        if (changed & (1u << column))
            Grid_->update(Grid_->model()->index(n - 1, column));
}

quint32 TInputsGrid::ShowRowColors(int n)
{
    const TVantorInput* input = InputOrNull(n);
    if (!input)
        return 0;
    const unsigned rising = Rising_ ? Rising_(n) : 0;
    quint32 changed = 0;
    for (int column = 1; column < cells::kColumnCount; ++column) {
        const std::optional<TColor> color = InputCellColor(*input, column, rising);
        if (SetCell(Grid_->item(n - 1, column), kColorRole, color ? QVariant(*color) : QVariant()))
            changed |= 1u << column;
    }
    return changed;
}

void TInputsGrid::ShowStale()
{
    const TVantor* vantor = Vantor();
    if (!vantor)
        return;
    for (int n = 1; n <= vantor::kInputCount; ++n) {
        // Rows never polled stay empty.
        QTableWidgetItem* item = Grid_->item(n - 1, cells::kOprosState);
        if (item && !item->text().isEmpty()) {
            item->setText(InputCellText(vantor->Input(n), cells::kOprosState));
            ShowRowColors(n);
        }
    }
}

TAlarmCounts TInputsGrid::CountAlarms() const
{
    TAlarmCounts counts;
    const TVantor* vantor = Vantor();
    for (int n = 1; vantor && n <= vantor::kInputCount; ++n)
        counts += InputAlarms(vantor->Input(n), Rising_ ? Rising_(n) : 0);
    return counts;
}

bool TInputsGrid::SelectNextAlarm()
{
    const TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    const int current = std::max(Grid_->currentRow(), -1);
    for (int step = 1; step <= vantor::kInputCount; ++step) {
        const int row = (current + step) % vantor::kInputCount;
        if (InputAlarms(vantor->Input(row + 1), Rising_ ? Rising_(row + 1) : 0).Total() > 0) {
            Grid_->setCurrentCell(row, std::max(Grid_->currentColumn(), 0));
            Grid_->scrollToItem(Grid_->item(row, 0), QAbstractItemView::PositionAtCenter);
            return true;
        }
    }
    return false;
}
