#pragma once

#include "values/Descriptions.h"

#include <QStyledItemDelegate>

#include <functional>
#include <optional>

// Draws each cell in the font colour its rule gives at that moment (none: the grid's default). A
// selected cell in an alarm colour keeps the grid's background and is outlined in the selection's
// colour instead: on the selection's fill its text could not be read.
class TCellColorDelegate : public QStyledItemDelegate
{
public:
    using TRule = std::function<std::optional<TColor>(const QModelIndex& index)>;

    TCellColorDelegate(TRule rule, QObject* parent) : QStyledItemDelegate(parent), Rule_(std::move(rule)) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    TRule Rule_;
};
