#pragma once

#include <QLabel>

// A line of text shown as one link, wrapped over the room the label has and ending in "..."
// where it does not fit; its tooltip and accessible name hold it whole. It is clicked, never
// tabbed to. clicked() is the link activated.
class LinkLine : public QLabel {
    Q_OBJECT
public:
    explicit LinkLine(QWidget* parent = nullptr);

    void setLine(const QString& line);
    const QString& line() const { return m_line; }

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    QString m_line;
};
