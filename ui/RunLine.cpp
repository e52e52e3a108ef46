#include "ui/RunLine.h"

#include "ui/ElidedText.h"

#include <QMouseEvent>

RunLine::RunLine(QWidget* parent)
    : QLabel(parent) {
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Read and copied as it stands, and reached by a screen reader.
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void RunLine::setLine(const QString& line) {
    m_line = line;
    setToolTip(line);
    setAccessibleName(line);
    fit();
}

int RunLine::wholeHeight(int width) const {
    return fontMetrics()
        .boundingRect(QRect(0, 0, qMax(1, width), 1 << 20), Qt::AlignLeft | Qt::TextWordWrap,
                      m_line)
        .height();
}

void RunLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

// A click that selects nothing opens the whole text; a drag selects, as in any label.
void RunLine::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && !hasSelectedText() && !m_line.isEmpty())
        emit clicked();
}

void RunLine::fit() {
    const int lines = qMax(1, height() / fontMetrics().lineSpacing());
    setText(ElidedText::atWord(m_line, fontMetrics(), width(), lines));
}
