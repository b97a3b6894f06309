#pragma once

#include <QList>
#include <QStringList>

#include <functional>

class QAbstractButton;
class QLabel;
class QTableView;
class QWidget;

// Forms give their sizes for one font; the font in use may need more room. These widen a control
// to what the font in use needs for every text the control can show, and never narrow one.

// The width that label, or button, needs to show each of texts whole: its size hint with that text.
int WidthForTexts(QLabel* label, const QStringList& texts);
int WidthForTexts(QAbstractButton* button, const QStringList& texts);
// The width that a cell of grid needs to show each of texts whole, its grid line included.
int CellWidthForTexts(const QTableView* grid, const QStringList& texts);

// Widens the controls of one column of a form (same left edge, placed by hand) to width. What
// lies to the right of the column on its rows moves along by as much, and a parent placed by hand
// widens in turn when its children no longer fit inside its frame. A control in a layout only gets
// that width as its minimum.
void WidenColumn(const QList<QWidget*>& column, int width);
// Widens a box placed by hand so that its children keep their room from its frame.
void KeepInsideFrame(QWidget* box);

// Each column of grid at least as wide as its header's text and every text in texts(column).
void WidenGridColumns(QTableView* grid, const std::function<QStringList(int column)>& texts);
