#include "ui/GeneralDate.h"

#include <QRegularExpression>

QString GeneralDate::text(const QDateTime& moment, const QLocale& locale) {
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(QLatin1String("yyyy")))
        dateFormat.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    timeFormat.replace(zone, QStringLiteral(" "));
    timeFormat = timeFormat.trimmed();
    return locale.toString(moment.date(), dateFormat) + u' ' +
           locale.toString(moment.time(), timeFormat);
}
