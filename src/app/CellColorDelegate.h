#pragma once

#include "values/Descriptions.h"

#include <QStyledItemDelegate>

#include <functional>
#include <optional>

// Draws each cell in the font colour its rule gives at that moment (none: the grid's default).
// Nothing is cached: the rule reads the current values.
class TCellColorDelegate : public QStyledItemDelegate
{
public:
    using TRule = std::function<std::optional<TColor>(int row, int column)>;

    TCellColorDelegate(TRule rule, QObject* parent) : QStyledItemDelegate(parent), Rule_(std::move(rule)) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    TRule Rule_;
};
