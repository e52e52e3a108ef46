#include "grid/GridPrinter.h"

#include "core/GridColumns.h"
#include "grid/GridModel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QTextOption>

namespace {
// Long texts break between words, and inside a word only where one word is wider than its
// column.
QTextOption wrapping(Qt::Alignment alignment) {
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}
} // namespace

GridPrinter::GridPrinter(const GridModel& model)
    : m_model(model) {}

bool GridPrinter::wraps(int column) {
    return column == GridColumns::Company || column == GridColumns::Contact ||
           column == GridColumns::Result;
}

// Row 0 is the header row; a line end in a name starts a new line in its cell.
QString GridPrinter::cellText(int row, int column) const {
    if (row == 0)
        return m_model.list().headerRow().value(column);
    return m_model.isCheckColumn(column) ? QString() : m_model.printText(row - 1, column);
}

// Short columns take their widest text; the wrapping ones share what is left, in proportion
// to their widest texts, and none takes more than it needs.
QVector<int> GridPrinter::columnWidths(const QFontMetrics& metrics,
                                       const QFontMetrics& headerMetrics, int pageWidth,
                                       int pad) const {
    const int columns = m_model.storedColumnCount();
    const int rows = m_model.list().RowCount();
    QVector<int> natural(columns, 0);
    for (int column = 0; column < columns; ++column) {
        for (int row = 0; row < rows; ++row)
            natural[column] =
                qMax(natural[column],
                     (row == 0 ? headerMetrics : metrics).horizontalAdvance(cellText(row, column)));
        if (m_model.isCheckColumn(column))
            natural[column] = qMax(natural[column], metrics.height());
        // The padding, and room for the layout's fractional advances over the metrics' whole
        // ones, so that the widest text fits on one line.
        natural[column] += 2 * pad + metrics.averageCharWidth();
    }
    int fixed = 0;
    for (int column = 0; column < columns; ++column)
        fixed += wraps(column) ? 0 : natural[column];
    // The wrapping columns share what is left: each that needs less than an equal share takes
    // what it needs, and the rest split the remainder.
    QVector<int> widths = natural;
    QVector<int> sharing;
    for (int column = 0; column < columns; ++column)
        if (wraps(column))
            sharing << column;
    int left = pageWidth - fixed;
    for (bool settled = true; !sharing.isEmpty() && settled;) {
        settled = false;
        const int share = left / int(sharing.size());
        for (int i = 0; i < sharing.size(); ++i) {
            if (natural[sharing[i]] <= share) {
                left -= natural[sharing[i]];
                sharing.remove(i--);
                settled = true;
            }
        }
    }
    const int least = metrics.averageCharWidth() * 8 + 2 * pad;
    for (int column : sharing)
        widths[column] = qMax(least, left / int(sharing.size()));
    // A page narrower than the short columns alone: everything shrinks together.
    int total = 0;
    for (int w : widths)
        total += w;
    if (total > pageWidth)
        for (int& w : widths)
            w = int(qint64(w) * pageWidth / total);
    return widths;
}

void GridPrinter::print(QPrinter& printer, const QString& title, const QString& subtitle) const {
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    QFont font(QStringLiteral("Sans Serif"), 8);
    painter.setFont(font);
    QFont bold = font;
    bold.setBold(true);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QFontMetrics metrics(font, &printer);
    const int line = metrics.height();
    const int pad = line / 4;
    const QVector<int> widths =
        columnWidths(metrics, QFontMetrics(bold, &printer), page.width(), pad);

    // Each row as high as its tallest wrapped cell.
    const int rows = m_model.list().RowCount();
    const bool hasHeader = m_model.fixedRows() > 0 && rows > 0;
    QVector<int> heights(rows, line + 2 * pad);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < widths.size(); ++column)
            if (wraps(column))
                heights[row] =
                    qMax(heights[row],
                         int(painter
                                 .boundingRect(QRectF(0, 0, widths[column] - 2 * pad, 1 << 20),
                                               cellText(row, column), wrapping(Qt::AlignLeft))
                                 .height()) +
                             2 * pad);

    // Pages: the title, the header row, rows while they fit, the page number at the foot.
    const int titleHeight = line * (subtitle.isEmpty() ? 2 : 3);
    const int footHeight = line * 2;
    const int body = page.height() - titleHeight - footHeight - (hasHeader ? heights[0] : 0);
    QVector<int> pageStarts;
    for (int row = hasHeader ? 1 : 0, used = body; row < rows; ++row) {
        if (used + heights[row] > body || pageStarts.isEmpty()) {
            pageStarts << row;
            used = 0;
        }
        used += heights[row];
    }
    if (pageStarts.isEmpty())
        pageStarts << rows;
    pageStarts << rows;

    const qreal penWidth = qMax(1.0, printer.resolution() / 150.0);
    for (int p = 0; p + 1 < pageStarts.size(); ++p) {
        if (p > 0)
            printer.newPage();
        int top = 0;
        painter.setFont(bold);
        painter.drawText(QRect(0, top, page.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                         title);
        painter.setFont(font);
        if (!subtitle.isEmpty())
            painter.drawText(QRect(0, top + line, page.width(), line),
                             Qt::AlignLeft | Qt::AlignVCenter, subtitle);
        top += titleHeight;
        const auto drawRow = [&](int row, bool header) {
            int left = 0;
            for (int column = 0; column < widths.size(); ++column) {
                const QRect cell(left, top, widths[column], heights[row]);
                painter.setPen(QPen(Qt::black, penWidth / 2));
                painter.drawRect(cell);
                const QRect inner = cell.adjusted(pad, pad, -pad, -pad);
                if (!header && row > 0 && m_model.isCheckColumn(column)) {
                    const int side = line * 3 / 4;
                    const QRect box(cell.center().x() - side / 2, cell.top() + pad, side, side);
                    painter.drawRect(box);
                    if (m_model.list().line(row - 1).send) {
                        QPainterPath tick;
                        tick.moveTo(box.left() + side * 0.2, box.top() + side * 0.55);
                        tick.lineTo(box.left() + side * 0.42, box.top() + side * 0.8);
                        tick.lineTo(box.left() + side * 0.85, box.top() + side * 0.2);
                        painter.strokePath(tick, QPen(Qt::black, penWidth * 1.5, Qt::SolidLine,
                                                      Qt::RoundCap, Qt::RoundJoin));
                    }
                } else {
                    const QVariant align =
                        m_model.data(m_model.index(0, column), Qt::TextAlignmentRole);
                    const int flags =
                        header || !align.isValid()
                            ? int(Qt::AlignLeft | Qt::AlignTop)
                            : (align.toInt() & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
                    painter.setFont(header ? bold : font);
                    if (wraps(column))
                        painter.drawText(QRectF(inner), cellText(row, column),
                                         wrapping(Qt::Alignment(flags)));
                    else
                        painter.drawText(inner, flags, cellText(row, column));
                    painter.setFont(font);
                }
                left += widths[column];
            }
            top += heights[row];
        };
        if (hasHeader)
            drawRow(0, true);
        for (int row = pageStarts[p]; row < pageStarts[p + 1]; ++row)
            drawRow(row, false);
        painter.drawText(QRect(0, page.height() - line, page.width(), line), Qt::AlignCenter,
                         QStringLiteral("Page %1 of %2").arg(p + 1).arg(pageStarts.size() - 1));
    }
    painter.end();
}
