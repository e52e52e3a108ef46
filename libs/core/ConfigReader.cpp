#include "core/ConfigReader.h"

#include "core/Failure.h"

#include <QFile>

namespace {
bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}
bool isLineBreak(QChar c) {
    return c == u'\r' || c == u'\n';
}
} // namespace

ConfigReader::ConfigReader(QByteArray content) {
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    m_text = QString::fromUtf8(content);
}

void ConfigReader::skipBlanks() {
    while (!atEnd() && isBlank(m_text.at(m_pos)))
        ++m_pos;
}

// After a quoted item, whatever stands before the next separator is not part of any item.
void ConfigReader::skipToSeparator() {
    while (!atEnd() && m_text.at(m_pos) != u',' && !isLineBreak(m_text.at(m_pos)))
        ++m_pos;
}

void ConfigReader::consumeSeparator() {
    m_lastSeparatorWasComma = false;
    if (atEnd())
        return;
    const QChar c = m_text.at(m_pos++);
    if (c == u',') {
        m_lastSeparatorWasComma = true;
    } else if (c == u'\r' && !atEnd() && m_text.at(m_pos) == u'\n') {
        ++m_pos;
    }
}

QString ConfigReader::nextItem() {
    for (;;) {
        skipBlanks();
        if (atEnd())
            throw Failure::inputPastEndOfFile();
        // A line with nothing on it separates nothing: it is skipped, unless a comma
        // just before it announced an (empty) item.
        if (isLineBreak(m_text.at(m_pos)) && !m_lastSeparatorWasComma) {
            consumeSeparator();
            continue;
        }
        break;
    }

    QString item;
    if (m_text.at(m_pos) == u'"') {
        const int close = m_text.indexOf(u'"', m_pos + 1);
        const int end = close < 0 ? m_text.size() : close;
        item = m_text.mid(m_pos + 1, end - m_pos - 1);
        m_pos = close < 0 ? m_text.size() : close + 1;
        skipToSeparator();
    } else {
        const int start = m_pos;
        skipToSeparator();
        item = m_text.mid(start, m_pos - start).trimmed();
    }
    consumeSeparator();
    return item;
}

QStringList ConfigReader::readItems(const QString& path, int count) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure::fileNotFound(path);
    ConfigReader reader(file.readAll());
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << reader.nextItem();
    return items;
}
