#pragma once

#include <QFontMetrics>
#include <QLabel>
#include <QString>

// A label that holds one line of text and shows as much of it as its room holds, wrapped at
// words and ended with "..." after the last word that fits, never cut without a mark; its
// tooltip and accessible name hold it whole.
class ElidedLine : public QLabel {
public:
    explicit ElidedLine(QWidget* parent = nullptr);

    void setLine(const QString& line);
    const QString& line() const { return m_line; }

    // The text as it fits in lines lines of width pixels, wrapped at words: whole, or cut after
    // the last word that fits with "..." after it, never inside a word (a single word too long
    // for the room is cut where it must, with a mark).
    static QString atWord(const QString& text, const QFontMetrics& metrics, int width, int lines);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The label's text for the part of the line that fits.
    virtual QString shown(const QString& part) const { return part; }
    // Shows the line again, as its room or its form changed.
    void fit();

private:
    QString m_line;
};
