#pragma once

#include "values/Descriptions.h"

#include <QStyledItemDelegate>

#include <functional>
#include <optional>

// Draws each cell in the font colour its rule gives at that moment (none: the grid's default).
class TCellColorDelegate : public QStyledItemDelegate
{
public:
    using TRule = std::function<std::optional<TColor>(const QModelIndex& index)>;

    TCellColorDelegate(TRule rule, QObject* parent) : QStyledItemDelegate(parent), Rule_(std::move(rule)) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    TRule Rule_;
};
