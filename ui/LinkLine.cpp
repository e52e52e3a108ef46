#include "ui/LinkLine.h"

#include "ui/ElidedText.h"

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
    const int lines = qMax(1, height() / fontMetrics().lineSpacing());
    const QString shown = ElidedText::atWord(m_line, fontMetrics(), width(), lines);
    setText(QStringLiteral("<a href=\"line\">%1</a>").arg(shown.toHtmlEscaped()));
}
