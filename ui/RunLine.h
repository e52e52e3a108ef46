#pragma once

#include <QLabel>

// The line under the list that says how the last run ended: plain text in as many lines as
// its room holds, shortened after a word with "..." where that is too few, never cut without a
// mark. The whole text is in its tooltip, for a screen reader, and one click away (clicked).
class RunLine : public QLabel {
    Q_OBJECT
public:
    explicit RunLine(QWidget* parent = nullptr);

    void setLine(const QString& line);
    const QString& line() const { return m_line; }
    // The height the whole line needs at width.
    int wholeHeight(int width) const;

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void fit();

    QString m_line;
};
