#include "ui/LinkLine.h"

LinkLine::LinkLine(QWidget* parent)
    : ElidedLine(parent) {
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(this, &QLabel::linkActivated, this, &LinkLine::clicked);
}

QString LinkLine::shown(const QString& part) const {
    return part.isEmpty() ? QString()
                          : QStringLiteral("<a href=\"line\">%1</a>").arg(part.toHtmlEscaped());
}
