#include "core/FixedForms.h"

#include "core/Money.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace {
// Digits written backwards from `end`, at least `least` of them; returns the new start. The
// list writes a few dates and amounts for every row, so these forms are written by hand rather
// than through the locale's and the calendar's general machinery.
char16_t* digitsBefore(char16_t* end, quint64 value, int least = 1) {
    for (int written = 0; value != 0 || written < least; ++written) {
        *--end = char16_t(u'0' + value % 10);
        value /= 10;
    }
    return end;
}

QString dateWith(const QDate& date, int least) {
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day); // the calendar asked once
    char16_t buffer[32];
    char16_t* const end = buffer + 32;
    if (year < 0) { // no such year comes from a contact record; the general forms serve
        const QString text = QString::number(year);
        return QStringLiteral("%1/%2/%3")
            .arg(month, least, 10, QChar(u'0'))
            .arg(day, least, 10, QChar(u'0'))
            .arg(least == 1 ? QString(qMax<qsizetype>(0, 4 - text.size()), u'0') + text
                            : QStringLiteral("%1").arg(year, 4, 10, QChar(u'0')));
    }
    char16_t* at = digitsBefore(end, quint64(year), 4);
    *--at = u'/';
    at = digitsBefore(at, quint64(day), least);
    *--at = u'/';
    at = digitsBefore(at, quint64(month), least);
    return QString(reinterpret_cast<const QChar*>(at), end - at);
}
} // namespace

QString FixedForms::dateText(const QDate& date) {
    return dateWith(date, 1);
}

QString FixedForms::paddedDateText(const QDate& date) {
    return dateWith(date, 2);
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
    // A value of whole hundredths (nearly every amount) is its hundredths' text: no shorter
    // decimal names the same double below 2^50 hundredths.
    const double hundredths = std::round(value * 100.0);
    if (std::fabs(hundredths) < 1.0e15 && hundredths / 100.0 == value && value != 0.0)
        return Money::hundredthsText(qint64(hundredths));
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

namespace {
bool allDigits(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; });
}
} // namespace

std::optional<double> FixedForms::plainNumber(std::string_view bytes) {
    const std::string_view unsignedPart =
        bytes.substr(!bytes.empty() && bytes.front() == '-' ? 1 : 0);
    const size_t point = unsignedPart.find('.');
    const std::string_view whole = unsignedPart.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view("0") : unsignedPart.substr(point + 1);
    if (whole.empty() || fraction.empty() || bytes.size() > 40 || !allDigits(whole) ||
        !allDigits(fraction))
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), value);
    if (error != std::errc() || end != bytes.data() + bytes.size())
        return std::nullopt;
    return value;
}

std::optional<QDate> FixedForms::plainIsoDate(std::string_view bytes) {
    if (bytes.size() != 10 || bytes[4] != '-' || bytes[7] != '-' ||
        !allDigits(bytes.substr(0, 4)) || !allDigits(bytes.substr(5, 2)) ||
        !allDigits(bytes.substr(8, 2)))
        return std::nullopt;
    const auto number = [&](size_t from, size_t count) {
        int n = 0;
        for (char c : bytes.substr(from, count))
            n = n * 10 + (c - '0');
        return n;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    if (!date.isValid())
        return std::nullopt;
    return date;
}
