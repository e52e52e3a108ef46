// The billing schedule: which records are due in a window, and the texts of their rows.

#include "billing/ScheduleRules.h"
#include "core/Failure.h"
#include "core/FixedForms.h"
#include "core/GridColumns.h"
#include "core/Money.h"

#include <QLocale>
#include <QTest>

namespace {
const QDate March1(2027, 3, 1);
const QDate March31(2027, 3, 31);

// The cells a due record's line shows, as the list writes them.
struct LineTexts {
    QString amountToBill, yearlyAmount, anniversary, invoiceDate, dueDate;
};

std::optional<LineTexts> textsOf(const std::optional<BillingLine>& line) {
    if (!line)
        return std::nullopt;
    using namespace GridColumns;
    const auto cell = [&](int column) { return BillingCells::text(*line, column); };
    return LineTexts{cell(AmountToBill), cell(AnnualDues), cell(BillAnniv), cell(InvoiceDate),
                     cell(DueDate)};
}

std::optional<LineTexts> judge(const char* frequency, double amount, const QVariant& anniversary,
                               QDate start = March1, QDate end = March31) {
    return textsOf(
        ScheduleRules::judge(QString::fromUtf8(frequency), amount, anniversary, start, end));
}

QVariant date(int y, int m, int d) {
    return QDate(y, m, d);
}
} // namespace

class TestScheduleRules : public QObject {
    Q_OBJECT
private slots:
    void quarterlyWorkedExample();
    void quarterlyOtherMonthIsNotDue();
    void semiAnnualWorkedExample();
    void monthlyIsAlwaysDue();
    void anniversaryMonthRecurrence_data();
    void anniversaryMonthRecurrence();
    void windowDaysBoundTheAnniversary_data();
    void windowDaysBoundTheAnniversary();
    void startAfterEndListsOnlyMonthly();
    void twentyNinthOfFebruary();
    void frequencyComparedExactly();
    void anniversaryWithoutDate();

    void amountRounding_data();
    void amountRounding();
    void yearlyAmountText();
    void amountThatIsNoNumberIsTypeMismatch();
    void sameTextsUnderAnyLocale();

    void readingDates_data();
    void readingDates();
};

void TestScheduleRules::quarterlyWorkedExample() {
    const auto line = judge("Quarterly", 1000, date(2005, 6, 15));
    QVERIFY(line);
    QCOMPARE(line->amountToBill, QStringLiteral("250"));
    QCOMPARE(line->yearlyAmount, QStringLiteral("1000"));
    QCOMPARE(line->anniversary, QStringLiteral("06/15/2005"));
    QCOMPARE(line->invoiceDate, QStringLiteral("3/1/2027"));
    QCOMPARE(line->dueDate, QStringLiteral("3/15/2027"));
}

void TestScheduleRules::quarterlyOtherMonthIsNotDue() {
    QVERIFY(!judge("Quarterly", 1000, date(2005, 5, 15)));
}

void TestScheduleRules::semiAnnualWorkedExample() {
    const auto line = judge("Semi-Annual", 1000, date(2004, 9, 2));
    QVERIFY(line);
    QCOMPARE(line->amountToBill, QStringLiteral("500"));
    QCOMPARE(line->anniversary, QStringLiteral("09/02/2004"));
    QCOMPARE(line->dueDate, QStringLiteral("3/2/2027"));
}

void TestScheduleRules::monthlyIsAlwaysDue() {
    for (const QVariant& anniversary :
         {QVariant(), date(2005, 6, 5), date(2019, 11, 30), QVariant(QStringLiteral("6/5/2005"))}) {
        const auto line =
            judge("Monthly Invoice", 1000, anniversary, QDate(2027, 3, 20), QDate(2027, 3, 10));
        QVERIFY(line);
        QCOMPARE(line->amountToBill, QStringLiteral("83.33"));
        QCOMPARE(line->invoiceDate, QStringLiteral("3/1/2027"));
        QCOMPARE(line->dueDate, QStringLiteral("3/15/2027"));
    }
    QCOMPARE(judge("Monthly Invoice", 1000, QVariant())->anniversary, QString());
    QCOMPARE(judge("Monthly Invoice", 1000, date(2005, 6, 5))->anniversary,
             QStringLiteral("6/5/2005"));
    // A text that is no date stands in the row as it is.
    QCOMPARE(judge("Monthly Invoice", 1000, QStringLiteral("ask Sue"))->anniversary,
             QStringLiteral("ask Sue"));
}

void TestScheduleRules::anniversaryMonthRecurrence_data() {
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<int>("anniversaryMonth");
    QTest::addColumn<QList<int>>("dueMonths");
    QTest::newRow("quarterly, February") << "Quarterly" << 2 << QList<int>{2, 5, 8, 11};
    QTest::newRow("quarterly, December") << "Quarterly" << 12 << QList<int>{3, 6, 9, 12};
    QTest::newRow("semi-annual, February") << "Semi-Annual" << 2 << QList<int>{2, 8};
    QTest::newRow("semi-annual, June") << "Semi-Annual" << 6 << QList<int>{6, 12};
    QTest::newRow("annual, February") << "Annual" << 2 << QList<int>{2};
    QTest::newRow("annual, December") << "Annual" << 12 << QList<int>{12};
}

void TestScheduleRules::anniversaryMonthRecurrence() {
    QFETCH(QString, frequency);
    QFETCH(int, anniversaryMonth);
    QFETCH(QList<int>, dueMonths);
    QList<int> due;
    for (int month = 1; month <= 12; ++month) {
        const QDate start(2027, month, 1);
        const QDate end(2027, month, start.daysInMonth());
        if (ScheduleRules::judge(frequency, 1200, date(2010, anniversaryMonth, 10), start, end))
            due << month;
    }
    QCOMPARE(due, dueMonths);
}

void TestScheduleRules::windowDaysBoundTheAnniversary_data() {
    QTest::addColumn<int>("day");
    QTest::addColumn<bool>("due");
    QTest::newRow("day before the start") << 9 << false;
    QTest::newRow("the start day") << 10 << true;
    QTest::newRow("inside") << 15 << true;
    QTest::newRow("the end day") << 20 << true;
    QTest::newRow("day after the end") << 21 << false;
}

void TestScheduleRules::windowDaysBoundTheAnniversary() {
    QFETCH(int, day);
    QFETCH(bool, due);
    const auto line =
        judge("Quarterly", 1000, date(2010, 6, day), QDate(2027, 3, 10), QDate(2027, 3, 20));
    QCOMPARE(bool(line), due);
    if (line)
        QCOMPARE(line->dueDate, QStringLiteral("3/%1/2027").arg(day));
}

void TestScheduleRules::startAfterEndListsOnlyMonthly() {
    const QDate start(2027, 3, 20), end(2027, 3, 10);
    for (int day = 1; day <= 31; ++day) {
        QVERIFY(!judge("Quarterly", 1000, date(2010, 3, day), start, end));
        QVERIFY(!judge("Semi-Annual", 1000, date(2010, 9, day), start, end));
        QVERIFY(!judge("Annual", 1000, date(2010, 3, day), start, end));
    }
    QVERIFY(judge("Monthly Invoice", 1000, date(2010, 3, 15), start, end));
}

void TestScheduleRules::twentyNinthOfFebruary() {
    // A 30-day month has no 31st: a quarterly anniversary on the 31st is not due in April.
    QVERIFY(!judge("Quarterly", 1000, date(2010, 1, 31), QDate(2027, 4, 1), QDate(2027, 4, 30)));

    const QVariant leapDay = date(2012, 2, 29);
    const auto leap = judge("Annual", 3000, leapDay, QDate(2028, 2, 1), QDate(2028, 2, 29));
    QVERIFY(leap);
    QCOMPARE(leap->dueDate, QStringLiteral("2/29/2028"));
    QCOMPARE(leap->anniversary, QStringLiteral("02/29/2012"));
    QVERIFY(!judge("Annual", 3000, leapDay, QDate(2027, 2, 1), QDate(2027, 2, 28)));
    QVERIFY(!judge("Annual", 3000, leapDay, QDate(2028, 2, 1), QDate(2028, 2, 28)));

    // An end date in a leap year lets the test pass in a common year's February; the due date
    // still names a day that February has.
    const auto common = judge("Annual", 3000, leapDay, QDate(2027, 2, 1), QDate(2028, 2, 29));
    QVERIFY(common);
    QCOMPARE(common->dueDate, QStringLiteral("2/28/2027"));
    QCOMPARE(common->invoiceDate, QStringLiteral("2/1/2027"));
}

void TestScheduleRules::frequencyComparedExactly() {
    QVERIFY(!judge("quarterly", 1000, date(2005, 6, 15)));
    QVERIFY(!judge("Quarterly ", 1000, date(2005, 6, 15)));
    QVERIFY(!judge(" Annual", 1000, date(2005, 3, 15)));
    QVERIFY(!judge("Monthly", 1000, date(2005, 3, 15)));
    QVERIFY(!judge("", 1000, date(2005, 3, 15)));
    QVERIFY(!ScheduleRules::judge(QVariant(), 1000, date(2005, 3, 15), March1, March31));
    QCOMPARE(ScheduleRules::frequencyOf(QStringLiteral("Semi-Annual")),
             ScheduleRules::Frequency::SemiAnnual);
}

void TestScheduleRules::anniversaryWithoutDate() {
    for (const QVariant& none : {QVariant(), QVariant(QDate()), QVariant(QStringLiteral("")),
                                 QVariant(QStringLiteral("soon")), QVariant(42)}) {
        QVERIFY(!judge("Quarterly", 1000, none));
        QVERIFY(!judge("Annual", 1000, none));
        QVERIFY(judge("Monthly Invoice", 1000, none));
    }
    // A date held as text counts like a date.
    QVERIFY(judge("Quarterly", 1000, QStringLiteral("6/15/2005")));
    QVERIFY(judge("Quarterly", 1000, QStringLiteral("2005-06-15")));
}

void TestScheduleRules::amountRounding_data() {
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<double>("yearly");
    QTest::addColumn<QString>("amount");
    QTest::newRow("monthly 1000") << "Monthly Invoice" << 1000.0 << "83.33";
    QTest::newRow("exact half goes to even, down") << "Quarterly" << 4.5 << "1.12";
    QTest::newRow("exact half goes to even, up") << "Quarterly" << 1.5 << "0.38";
    QTest::newRow("whole amount has no decimals") << "Annual" << 1200.0 << "1200";
    QTest::newRow("one decimal") << "Monthly Invoice" << 999.6 << "83.3";
    QTest::newRow("rounds up to a whole") << "Quarterly" << 1999.99 << "500";
    QTest::newRow("a little below a half stays down") << "Annual" << 2.675 << "2.67";
    QTest::newRow("1.005 is below its half") << "Annual" << 1.005 << "1";
    QTest::newRow("a little above a half goes up") << "Annual" << 2.665 << "2.67";
    QTest::newRow("large") << "Monthly Invoice" << 123456789.0 << "10288065.75";
}

void TestScheduleRules::amountRounding() {
    QFETCH(QString, frequency);
    QFETCH(double, yearly);
    QFETCH(QString, amount);
    const QDate start(2027, 3, 1), end(2027, 3, 31);
    const auto line =
        textsOf(ScheduleRules::judge(frequency, yearly, date(2010, 3, 12), start, end));
    QVERIFY(line);
    QCOMPARE(line->amountToBill, amount);
}

void TestScheduleRules::yearlyAmountText() {
    QCOMPARE(judge("Annual", 1999.99, date(2010, 3, 1))->yearlyAmount, QStringLiteral("1999.99"));
    QCOMPARE(judge("Annual", 4.5, date(2010, 3, 1))->yearlyAmount, QStringLiteral("4.5"));
    QCOMPARE(judge("Annual", 1000000, date(2010, 3, 1))->yearlyAmount, QStringLiteral("1000000"));
    // A text holding a number counts as the number.
    const auto line = textsOf(ScheduleRules::judge(
        QStringLiteral("Annual"), QStringLiteral(" 1200.50 "), date(2010, 3, 1), March1, March31));
    QCOMPARE(line->yearlyAmount, QStringLiteral("1200.5"));
    QCOMPARE(line->amountToBill, QStringLiteral("1200.5"));
}

void TestScheduleRules::amountThatIsNoNumberIsTypeMismatch() {
    for (const QVariant& bad :
         {QVariant(QStringLiteral("twelve")), QVariant(QStringLiteral("1,200")), QVariant(),
          QVariant(QDate(2020, 1, 1)), QVariant(0.0), QVariant(-5)}) {
        try {
            ScheduleRules::judge(QStringLiteral("Monthly Invoice"), bad, QVariant(), March1,
                                 March31);
            QFAIL(qPrintable(QStringLiteral("accepted %1").arg(bad.toString())));
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), ErrorNumber::TypeMismatch);
            QCOMPARE(failure.description(), QStringLiteral("Type mismatch"));
        }
    }
}

void TestScheduleRules::sameTextsUnderAnyLocale() {
    const auto texts = [] {
        QStringList all;
        for (double amount : {1999.99, 4.5, 1000.0, 1234567.89}) {
            for (const char* frequency : {"Monthly Invoice", "Quarterly", "Annual"}) {
                const auto line = judge(frequency, amount, date(2010, 12, 5), QDate(2027, 3, 1),
                                        QDate(2027, 3, 31));
                if (line)
                    all << line->amountToBill << line->yearlyAmount << line->anniversary
                        << line->invoiceDate << line->dueDate;
            }
        }
        return all;
    };
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QStringList us = texts();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QStringList german = texts();
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QStringList french = texts();
    QLocale::setDefault(before);
    QCOMPARE(german, us);
    QCOMPARE(french, us);
    QVERIFY(us.contains(QStringLiteral("1234567.89")));
    QVERIFY(us.contains(QStringLiteral("308641.97")));
}

void TestScheduleRules::readingDates_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QDate>("expected");
    QTest::newRow("date") << QVariant(QDate(2005, 6, 15)) << QDate(2005, 6, 15);
    QTest::newRow("date-time") << QVariant(QDateTime(QDate(2005, 6, 15), QTime(13, 5)))
                               << QDate(2005, 6, 15);
    QTest::newRow("M/D/YYYY") << QVariant("6/5/2005") << QDate(2005, 6, 5);
    QTest::newRow("MM/DD/YYYY") << QVariant("06/05/2005") << QDate(2005, 6, 5);
    QTest::newRow("ISO") << QVariant("2005-06-05") << QDate(2005, 6, 5);
    QTest::newRow("ISO date-time") << QVariant("2005-06-05 00:00:00") << QDate(2005, 6, 5);
    QTest::newRow("day first is no date") << QVariant("31/12/2005") << QDate();
    QTest::newRow("no such day") << QVariant("2/30/2005") << QDate();
    QTest::newRow("two-digit year") << QVariant("6/5/05") << QDate();
    QTest::newRow("words") << QVariant("June 5") << QDate();
    QTest::newRow("null") << QVariant() << QDate();
    QTest::newRow("number") << QVariant(38500) << QDate();
}

void TestScheduleRules::readingDates() {
    QFETCH(QVariant, value);
    QFETCH(QDate, expected);
    QCOMPARE(FixedForms::dateOf(value).value_or(QDate()), expected);
    if (expected.isValid())
        QCOMPARE(FixedForms::readDate(FixedForms::dateText(expected)),
                 std::optional<QDate>(expected));
}

QTEST_APPLESS_MAIN(TestScheduleRules)
#include "tst_schedule_rules.moc"
