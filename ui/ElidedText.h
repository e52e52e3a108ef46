#pragma once

#include <QFontMetrics>
#include <QString>

namespace ElidedText {

// The text as it fits in lines lines of width pixels, wrapped at words: whole, or cut after
// the last word that fits with "..." after it, never inside a word (a single word too long
// for the room is cut where it must, with the same mark).
QString atWord(const QString& text, const QFontMetrics& metrics, int width, int lines);

} // namespace ElidedText
