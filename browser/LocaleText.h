#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// How the browser writes numbers, dates and times: by the system's regional format where the
// operator reads them, by fixed patterns where the protocol prescribes one.
namespace LocaleText {

// The unit all weights and forces of a test are shown in: MeasureUnit 0 is kilograms, any
// other value hundredths of a kilonewton.
struct Unit {
    QString text;
    int divisor;
    int decimals;
};
Unit unitOf(qint64 MeasureUnit);

// A stored value divided by the unit's divisor, fixed-point with the unit's decimals and the
// locale's digit grouping; every comma then becomes a full stop, so the decimal separator on
// the protocol is always a full stop whatever the region.
QString FormatValue(qint64 value, const Unit& unit, const QLocale& locale);
// An efficiency (a ratio) written the same way with two decimals.
QString EfficiencyText(double value, const QLocale& locale);

// The locale's time separator (the character after the hours of its time format).
QString timeSeparator(const QLocale& locale);
// "dd.mm.yyyy" and "hh:nn:ss" of the protocol, the colon being the locale's time separator.
QString dateText(const QDateTime& dt);
QString timeText(const QDateTime& dt, const QLocale& locale);
// A date-time in the locale's short date and long time format; a bound value whose time is
// midnight shows its date only (dateOnlyAtMidnight). A null date-time is the empty text.
QString systemDateTime(const QDateTime& dt, const QLocale& locale, bool dateOnlyAtMidnight = false);

// The caption of the test list once a range has been applied.
QString rangeCaption(const QDateTime& begin, const QDateTime& end, const QLocale& locale);
// The caption before any range was applied.
QString plainCaption();

} // namespace LocaleText
