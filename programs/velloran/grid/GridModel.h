#pragma once

#include "core/BillingList.h"

#include <QAbstractTableModel>
#include <QVector>
#include <functional>

// The billing list shown by the grid: its lines as values, each cell's text made from them
// when the view asks (money in the column's format, dates as the schedule writes them, the
// "Send" cell a check box). With at least one fixed row the header row is shown as the view's
// column headers and never scrolls.
//
// Lines appended are handed to the view in one step at the next structural change or
// Repaint, so that appending stays constant time however long the list grows.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Asked before a user's edit of a data cell (its line and column); answers whether the
    // edit may go ahead.
    using EditRequest = std::function<bool(int line, int column)>;

    explicit GridModel(QObject* parent = nullptr);

    void setEditRequest(EditRequest request) { m_editRequest = std::move(request); }

    // The list itself, read; changed through the calls below, which tell the view.
    const BillingList& list() const { return m_list; }
    void appendLine(BillingLine line);
    void setLine(int index, BillingLine line);
    void setFacts(const ListFacts& facts) { m_list.setFacts(facts); }
    void setHeaderRow(const QStringList& texts);
    void empty();
    void resizeLines(int count);
    // A whole list at once, as a fill hands it over.
    void takeList(BillingList list);

    void setColumnCount(int columns);
    int storedColumnCount() const { return m_columnCount; }
    void setFixedRows(int rows);
    int fixedRows() const { return m_fixedRows; }
    void setColumnType(int column, int typeCode);
    int columnType(int column) const;
    void setColumnFormat(int column, const QString& format);
    QString columnFormat(int column) const;
    bool isMoneyColumn(int column) const;
    bool isCheckColumn(int column) const;

    // The text a cell of a line shows under its column's type and format; a name's tabs and
    // line ends shown as marks, so that the cell stays one line.
    QString displayText(int line, int column) const;
    // The same on paper, where a line end starts a new line in the cell.
    QString printText(int line, int column) const;

    // For each column from first to last, the lines whose cells there are the longest texts,
    // at most count of them: the candidates for the column's width.
    QVector<QVector<int>> longestCells(int first, int last, int count) const;

    // Hands lines appended since the last call to the view.
    void publish();

    // Whether the header row is shown as the view's headers; else it is the view's first row.
    bool headerShown() const { return m_fixedRows > 0 && m_list.hasHeaderRow(); }
    // The line shown at a view row (-1 for the header row shown as a row), and back.
    int lineAt(int viewRow) const {
        return headerShown() || !m_list.hasHeaderRow() ? viewRow : viewRow - 1;
    }
    QModelIndex indexOf(int line, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    // The view's rows for a number of the list's rows (header row included).
    int viewRows(int listRows) const { return listRows - (headerShown() ? 1 : 0); }
    int listRows() const { return m_list.RowCount(); }
    void resetView();
    void lineChanged(int line);

    BillingList m_list;
    int m_columnCount = 0;
    int m_fixedRows = 0;
    int m_publishedRows = 0; // of the list's rows, header row included
    QVector<int> m_columnTypes;
    QVector<QString> m_columnFormats;
    EditRequest m_editRequest;
};
