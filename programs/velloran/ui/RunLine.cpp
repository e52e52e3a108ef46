#include "ui/RunLine.h"

#include <QMouseEvent>

RunLine::RunLine(QWidget* parent)
    : ElidedLine(parent) {
    // Read and copied as it stands, and reached by a screen reader.
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setCursor(Qt::PointingHandCursor);
}

int RunLine::wholeHeight(int width) const {
    return fontMetrics()
        .boundingRect(QRect(0, 0, qMax(1, width), 1 << 20), Qt::AlignLeft | Qt::TextWordWrap,
                      line())
        .height();
}

// A click that selects nothing opens the whole text; a drag selects, as in any label.
void RunLine::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && !hasSelectedText() && !line().isEmpty())
        emit clicked();
}
