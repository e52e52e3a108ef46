#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The general date form of the user's settings: the short date with a four-digit year, a
// blank, and the long time without a time zone ("12/7/2026 10:08:04 AM" in the United States).
namespace GeneralDate {

QString text(const QDateTime& moment, const QLocale& locale = QLocale());

} // namespace GeneralDate
