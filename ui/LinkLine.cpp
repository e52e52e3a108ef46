#include "ui/LinkLine.h"

LinkLine::LinkLine(QWidget* parent)
    : QLabel(parent) {
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QLabel::linkActivated, this, &LinkLine::clicked);
}

void LinkLine::setLine(const QString& line) {
    m_line = line;
    setToolTip(line);
    setAccessibleName(line);
    fit();
}

void LinkLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void LinkLine::fit() {
    if (m_line.isEmpty()) {
        clear();
        return;
    }
    const QFontMetrics metrics = fontMetrics();
    const int lines = qMax(1, height() / metrics.lineSpacing());
    // A wrapped line loses up to a word at its end; the room is counted less that.
    const int room = qMax(0, width() * lines - lines * metrics.averageCharWidth() * 8);
    const QString shown = metrics.elidedText(m_line, Qt::ElideRight, room);
    setText(QStringLiteral("<a href=\"line\">%1</a>").arg(shown.toHtmlEscaped()));
}
