#pragma once

#include "ui/ElidedLine.h"

// The line under the list that says how the last run ended: plain text in as many lines as
// its room holds, shortened after a word with "..." where that is too few. The whole text is in
// its tooltip, for a screen reader, and one click away (clicked).
class RunLine : public ElidedLine {
    Q_OBJECT
public:
    explicit RunLine(QWidget* parent = nullptr);

    // The height the whole line needs at width.
    int wholeHeight(int width) const;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
