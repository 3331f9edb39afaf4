#include "LocaleText.h"

#include <QRegularExpression>

namespace LocaleText {

Unit unitOf(qint64 MeasureUnit) {
    if (MeasureUnit == 0)
        return {QStringLiteral("кг"), 1, 0};
    return {QStringLiteral("kN"), 100, 2};
}

static QString commasToStops(QString s) {
    return s.replace(QLatin1Char(','), QLatin1Char('.'));
}

// The system locale of some regions (C among them) omits grouping by default; the protocol
// always groups as the region writes groups.
static QLocale grouping(QLocale locale) {
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale;
}

QString FormatValue(qint64 value, const Unit& unit, const QLocale& locale) {
    const double v = double(value) / unit.divisor;
    return commasToStops(grouping(locale).toString(v, 'f', unit.decimals));
}

QString EfficiencyText(double value, const QLocale& locale) {
    return commasToStops(grouping(locale).toString(value, 'f', 2));
}

QString timeSeparator(const QLocale& locale) {
    const QString f = locale.timeFormat(QLocale::ShortFormat);
    qsizetype i = f.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    if (i >= 0) {
        while (i < f.size() && (f[i] == u'h' || f[i] == u'H'))
            ++i;
        if (i < f.size() && !f[i].isLetter() && f[i] != u'\'')
            return QString(f[i]);
    }
    return QStringLiteral(":");
}

QString dateText(const QDateTime& dt) {
    return dt.isValid() ? dt.date().toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

QString timeText(const QDateTime& dt, const QLocale& locale) {
    if (!dt.isValid())
        return {};
    const QString sep = timeSeparator(locale);
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    const QTime t = dt.time();
    return two(t.hour()) + sep + two(t.minute()) + sep + two(t.second());
}

// The long time format without the time zone, which a station's local times never need.
static QString longTime(const QLocale& locale) {
    QString f = locale.timeFormat(QLocale::LongFormat);
    f.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
    return f.trimmed();
}

QString systemDateTime(const QDateTime& dt, const QLocale& locale, bool dateOnlyAtMidnight) {
    if (!dt.isValid())
        return {};
    const QString date = locale.toString(dt.date(), QLocale::ShortFormat);
    if (dateOnlyAtMidnight && dt.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(dt.time(), longTime(locale));
}

QString rangeCaption(const QDateTime& begin, const QDateTime& end, const QLocale& locale) {
    const QString sep = timeSeparator(locale);
    const QString from = begin.date().toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" 00") + sep +
                         QStringLiteral("00") + sep + QStringLiteral("00");
    const QString to = end.date().toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral(" 23") + sep +
                       QStringLiteral("59") + sep + QStringLiteral("59");
    return QStringLiteral(" Таблица испытаний (данные с ") + from + QStringLiteral(" по ") + to +
           QStringLiteral(") ");
}

QString plainCaption() {
    return QStringLiteral(" Таблица испытаний ");
}

} // namespace LocaleText
