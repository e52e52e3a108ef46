#include "ui/ElidedLine.h"

#include <QList>
#include <QRect>

namespace {
bool fits(const QString& text, const QFontMetrics& metrics, int width, int lines) {
    const QRect needed =
        metrics.boundingRect(QRect(0, 0, width, 1 << 20), Qt::AlignLeft | Qt::TextWordWrap, text);
    return needed.height() <= lines * metrics.lineSpacing() && needed.width() <= width;
}
} // namespace

QString ElidedLine::atWord(const QString& text, const QFontMetrics& metrics, int width, int lines) {
    const QString mark = QStringLiteral("...");
    if (width <= 0 || lines <= 0 || fits(text, metrics, width, lines))
        return width <= 0 || lines <= 0 ? QString() : text;
    // The ends of words: the longest prefix ending at one that fits with the mark wins.
    QList<int> ends;
    for (int i = 1; i < text.size(); ++i)
        if (text[i].isSpace() && !text[i - 1].isSpace())
            ends << i;
    int low = 0, high = int(ends.size()) - 1, best = -1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        if (fits(text.left(ends[middle]) + mark, metrics, width, lines)) {
            best = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    if (best >= 0)
        return text.left(ends[best]) + mark;
    // Not even the first word: it is cut where the line ends.
    return metrics.elidedText(text.section(u' ', 0, 0), Qt::ElideRight, width);
}

ElidedLine::ElidedLine(QWidget* parent)
    : QLabel(parent) {
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFocusPolicy(Qt::NoFocus);
}

void ElidedLine::setLine(const QString& line) {
    m_line = line;
    setToolTip(line);
    setAccessibleName(line);
    fit();
}

void ElidedLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void ElidedLine::fit() {
    const int lines = qMax(1, height() / fontMetrics().lineSpacing());
    setText(shown(atWord(m_line, fontMetrics(), width(), lines)));
}
