#pragma once

#include "station/InputAlarms.h"

#include <QObject>

#include <functional>

class QTableWidget;

// Every cell of the grid gets an item, enabled and selectable, so that a refresh only sets data.
void FillWithItems(QTableWidget* grid);

// The inputs grid: one row per input, written a polled group at a time. Its header stands for the
// fixed row 0 and its number column for the fixed column, so input n is the grid's row n - 1. Each
// cell holds its font colour beside its text, set when the row is written: a cell is drawn again
// only when one of the two changed.
class TInputsGrid : public QObject
{
public:
    // rising: the sensors of an input that are rising (bit i - 1 for sensor i).
    TInputsGrid(QTableWidget* grid, std::function<unsigned(int input)> rising);

    // Column 0 of row n := n.
    void NumberRows();
    // The polled columns of input n's row and their colours.
    void FillRow(int n);
    // The font colours of input n's row from its current values and rises; the columns whose
    // colour changed, as bits.
    quint32 ShowRowColors(int n);
    // The inputs were marked as not current, or the mark was lifted: every polled row's state.
    void ShowStale();
    // The alarms every row shows, by kind.
    TAlarmCounts CountAlarms() const;
    // Makes the next row below the current one that shows an alarm current, from the top again
    // after the last row; false when no row shows one.
    bool SelectNextAlarm();

    // The input whose row became the current one.
    std::function<void(int input)> OnSelect;

private:
    QTableWidget* Grid_;
    std::function<unsigned(int input)> Rising_;
};
