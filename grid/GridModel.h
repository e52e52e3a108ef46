#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QVector>
#include <functional>
#include <vector>

// The cells of the billing grid. Each row is kept as one UTF-8 text with its cells separated
// by tabs, which keeps a list of a hundred thousand rows small. Row 0 is the header row: with
// at least one fixed row it is shown as the view's column headers and never scrolls.
//
// Rows appended are handed to the view in one step at the next structural change or
// Repaint, so that appending stays constant time however long the list grows.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Asked before a user's edit of a data cell; answers whether the edit may go ahead.
    using EditRequest = std::function<bool(int row, int column)>;

    explicit GridModel(QObject* parent = nullptr);

    void setEditRequest(EditRequest request) { m_editRequest = std::move(request); }

    // Storage, in grid rows (header row included).
    void setStoredRowCount(int rows);
    int storedRowCount() const { return int(m_rows.size()); }
    void setStoredColumnCount(int columns);
    int storedColumnCount() const { return m_columnCount; }
    void appendRow(const QString& tabSeparatedCells);
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);
    void setFixedRows(int rows);
    int fixedRows() const { return m_fixedRows; }
    void setColumnType(int column, int typeCode);
    int columnType(int column) const;
    void setColumnFormat(int column, const QString& format);
    QString columnFormat(int column) const;

    // The text a cell shows under its column's type and format.
    QString displayText(int row, int column) const;
    bool isCheckColumn(int column) const;

    // For each column from first to last, the data rows whose cells there are the longest
    // texts, at most count of them: the candidates for the column's width. One pass over the
    // rows serves every column.
    QVector<QVector<int>> longestCells(int first, int last, int count) const;

    // Hands rows appended since the last call to the view.
    void publish();

    // The grid row shown at a view row, and back.
    int gridRow(int viewRow) const { return viewRow + headerRows(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    int headerRows() const { return m_fixedRows > 0 && !m_rows.empty() ? 1 : 0; }
    void resetView();

    std::vector<QByteArray> m_rows;
    int m_columnCount = 0;
    int m_fixedRows = 0;
    int m_publishedRows = 0;
    QVector<int> m_columnTypes;
    QVector<QString> m_columnFormats;
    EditRequest m_editRequest;
};
