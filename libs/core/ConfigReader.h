#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reads items in the sequential-input form of config.txt: items are separated by commas or
// line breaks; an item in double quotes loses its quotes and keeps the commas inside them;
// blanks around an unquoted item are dropped; blank lines are skipped.
class ConfigReader {
public:
    explicit ConfigReader(QByteArray content);

    // Throws Failure 62 ("Input past end of file") when the file ends before the item.
    QString nextItem();

    // Reads the file at path and returns its first count items; throws Failure 53 when the
    // file cannot be opened and 62 when it holds fewer items.
    static QStringList readItems(const QString& path, int count);

private:
    bool atEnd() const { return m_pos >= m_text.size(); }
    void skipBlanks();
    void skipToSeparator();
    void consumeSeparator();

    QString m_text;
    int m_pos = 0;
    bool m_lastSeparatorWasComma = false;
};
