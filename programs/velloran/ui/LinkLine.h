#pragma once

#include "ui/ElidedLine.h"

// A line of text shown as one link, wrapped over the room the label has and ending in "..."
// where it does not fit; its tooltip and accessible name hold it whole. It is clicked, never
// tabbed to. clicked() is the link activated.
class LinkLine : public ElidedLine {
    Q_OBJECT
public:
    explicit LinkLine(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    QString shown(const QString& part) const override;
};
