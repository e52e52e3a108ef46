#pragma once

#include <QStyledItemDelegate>

// Draws a "Send" cell as a check box in the middle of the cell and toggles it on a click
// anywhere in the cell, or on Space, as a spreadsheet's check column does.
class CheckCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};
