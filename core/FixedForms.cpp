#include "core/FixedForms.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

QString FixedForms::dateText(const QDate& date) {
    // Written out by hand: a list of many thousand rows writes three dates a row.
    const QString year = QString::number(date.year());
    return QString::number(date.month()) + u'/' + QString::number(date.day()) + u'/' +
           QString(qMax<qsizetype>(0, 4 - year.size()), u'0') + year;
}

QString FixedForms::paddedDateText(const QDate& date) {
    return QStringLiteral("%1/%2/%3")
        .arg(date.month(), 2, 10, QChar(u'0'))
        .arg(date.day(), 2, 10, QChar(u'0'))
        .arg(date.year(), 4, 10, QChar(u'0'));
}

std::optional<QDate> FixedForms::readDate(const QString& text) {
    static const QRegularExpression mdy(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{4})\\s*$"));
    static const QRegularExpression iso(QStringLiteral(
        "^\\s*(\\d{4})-(\\d{2})-(\\d{2})(?:[ T]\\d{2}:\\d{2}(?::\\d{2}(?:\\.\\d+)?)?)?\\s*$"));
    QDate date;
    if (const auto us = mdy.match(text); us.hasMatch())
        date = QDate(us.captured(3).toInt(), us.captured(1).toInt(), us.captured(2).toInt());
    else if (const auto stored = iso.match(text); stored.hasMatch())
        date = QDate(stored.captured(1).toInt(), stored.captured(2).toInt(),
                     stored.captured(3).toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QDate> FixedForms::dateOf(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().isValid() ? std::optional<QDate>(value.toDate()) : std::nullopt;
    case QMetaType::QDateTime: {
        const QDate d = value.toDateTime().date();
        return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
    }
    case QMetaType::QString:
        return readDate(value.toString());
    case QMetaType::QByteArray:
        return readDate(QString::fromUtf8(value.toByteArray()));
    default:
        return std::nullopt;
    }
}

QString FixedForms::numberText(double value) {
    return QLocale::c().toString(value, 'f', QLocale::FloatingPointShortest);
}

std::optional<double> FixedForms::readNumber(const QString& text) {
    // "1,200" is no number here: a comma would mean a decimal comma to half the world.
    static const QLocale fixed = [] {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        return c;
    }();
    bool ok = false;
    const double value = fixed.toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<double> FixedForms::numberOf(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return value.toDouble();
    case QMetaType::QString:
        return readNumber(value.toString());
    case QMetaType::QByteArray:
        return readNumber(QString::fromUtf8(value.toByteArray()));
    default:
        return std::nullopt;
    }
}
