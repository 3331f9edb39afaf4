#include "LocaleText.h"
#include "RecordViewFixture.h"

#include <QFontMetrics>

using namespace Qt::Literals::StringLiterals;

TEST(FormatValue, DividesGroupsAndTurnsEveryCommaIntoAFullStop) {
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const LocaleText::Unit kg = LocaleText::unitOf(0);
    const LocaleText::Unit kN = LocaleText::unitOf(7); // any value but 0
    struct Case {
        QLocale locale;
        qint64 value;
        LocaleText::Unit unit;
        QString text;
    };
    const Case cases[] = {
        {ru, 12000, kg, u"12\u00A0000"_s}, // the region's no-break space stays
        {ru, 1234, kN, u"12.34"_s},
        {ru, 0, kN, u"0.00"_s},
        {ru, 5, kN, u"0.05"_s},
        {de, 65535, kg, u"65.535"_s}, // German groups with a full stop
        {de, 65535, kN, u"655.35"_s}, // and separates decimals with a comma
        {us, 12000, kg, u"12.000"_s}, // a grouping comma becomes a full stop too
        {us, 123, kg, u"123"_s},
        {QLocale::c(), 40000, kg, u"40.000"_s},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocaleText::FormatValue(c.value, c.unit, c.locale), c.text)
            << c.locale.name().toStdString() << " " << c.value << " " << c.unit.text.toStdString();
    EXPECT_EQ(kg.text, u"кг"_s);
    EXPECT_EQ(kN.text, u"kN"_s);
    EXPECT_EQ(LocaleText::EfficiencyText(0.5834, ru), u"0.58"_s);
    EXPECT_EQ(LocaleText::EfficiencyText(1.5, de), u"1.50"_s);
}

TEST(LocaleTextTimes, CaptionAndTimeUseTheRegionsTimeSeparator) {
    const QDateTime begin(QDate(2026, 12, 9), QTime(14, 5, 7));
    const QDateTime end(QDate(2026, 12, 10), QTime(0, 0));
    // Finnish writes times with full stops.
    const QLocale fi(QLocale::Finnish, QLocale::Finland);
    EXPECT_EQ(LocaleText::timeSeparator(fi), u"."_s);
    EXPECT_EQ(LocaleText::rangeCaption(begin, end, QLocale::c()),
              u" Таблица испытаний (данные с 09.12.2026 00:00:00 по 10.12.2026 23:59:59) "_s);
    EXPECT_EQ(LocaleText::rangeCaption(begin, end, fi),
              u" Таблица испытаний (данные с 09.12.2026 00.00.00 по 10.12.2026 23.59.59) "_s);
    EXPECT_EQ(LocaleText::timeText(QDateTime(QDate(2026, 1, 2), QTime(7, 5, 3)), QLocale::c()),
              u"07:05:03"_s);
    EXPECT_EQ(LocaleText::dateText(QDateTime(QDate(2026, 1, 2), QTime(7, 5, 3))), u"02.01.2026"_s);
}

namespace {

const AxleValues FirstAxle{410, 395, 12, 14, 3, 5, 265, 250, 180, 172, 31, 31};
const AxleValues NoParking{380, 360, 10, 12, 2, 3, 240, 228, NoValue, NoValue, 30, 29};

} // namespace

class RecordViewTest : public RecordViewFixture {
protected:
    void SetUp() override {
        RecordViewFixture::SetUp();
        // German separates decimals with a comma and groups with a full stop.
        view.locale = QLocale(QLocale::German, QLocale::Germany);
    }
};

TEST_F(RecordViewTest, TwoAxlesInKilogramsTheSecondWithoutParkingBrake) {
    show(store({FirstAxle, NoParking}));

    // Header: bound values and the test's date and time.
    EXPECT_EQ(text(u"lbOrderNumber"_s), u"12"_s);
    EXPECT_EQ(text(u"lbTestDate"_s), u"09.12.2026"_s);
    EXPECT_EQ(text(u"lbTestTimeBegin"_s), u"14:05:00"_s);
    EXPECT_EQ(text(u"lbKalvexType"_s), u"Калвекс-3500"_s);
    EXPECT_EQ(text(u"lbKalvexSerial"_s), u"00042"_s);
    EXPECT_EQ(text(u"lbSoftwareVersion"_s), u"3.51"_s);
    EXPECT_EQ(text(u"lbKalvexID"_s), u"168037386"_s);
    EXPECT_EQ(text(u"lbVerificationDate"_s), view.locale.toString(QDate(2025, 6, 15), QLocale::ShortFormat))
        << "a midnight date-time shows its date only";
    EXPECT_EQ(text(u"lbCarType"_s), u"легковой"_s);

    // The stack: header 158, title 23, two axles of 100, parking title 38, one parking row.
    EXPECT_EQ(top(u"pnAxle1"_s), 181);
    EXPECT_EQ(top(u"pnAxle2"_s), 281);
    EXPECT_EQ(top(u"pnBrakeStopInfo"_s), 381);
    EXPECT_EQ(top(u"pnAxleStop1"_s), 419);
    EXPECT_EQ(view.pnSum->pos(), QPoint(3, 437));
    EXPECT_EQ(view.pnEfficiency->pos(), QPoint(3, 508));
    EXPECT_EQ(view.stackHeight(), 560);
    for (int n = 1; n <= 9; ++n) {
        EXPECT_EQ(shown(u"pnAxle%1"_s.arg(n)), n <= 2) << n;
        EXPECT_EQ(shown(u"pnAxleStop%1"_s.arg(n)), n == 1) << n;
        EXPECT_EQ(shown(u"lbAxle%1HeadL"_s.arg(n)), n == 1) << "headings above the first axle only";
    }

    // Rows of the first axle: L, R, Sum, N; only resistance and brake force have an N.
    const struct {
        const char* row;
        const char* name;
        const char* L;
        const char* R;
        const char* Sum;
        const char* N;
    } rows[] = {
        {"Weight", "Вес оси, кг", "410", "395", "805", ""},
        {"Resist", "Сопр. качению, кг", "12", "14", "26", "14"},
        {"Ovality", "Овальность, кг", "3", "5", "8", ""},
        {"BrakeWork", "Тормозная сила, кг", "265", "250", "515", "6"},
        {"Pedal", "Усилие на педали, кг", "31", "31", "62", ""},
    };
    for (const auto& r : rows) {
        const QString p = u"lbAxle1"_s + QLatin1String(r.row);
        EXPECT_EQ(text(p + u"Name"_s), QString::fromUtf8(r.name));
        EXPECT_EQ(text(p + u"L"_s), QString::fromUtf8(r.L)) << r.row;
        EXPECT_EQ(text(p + u"R"_s), QString::fromUtf8(r.R)) << r.row;
        EXPECT_EQ(text(p + u"Sum"_s), QString::fromUtf8(r.Sum)) << r.row;
        EXPECT_EQ(text(p + u"N"_s), QString::fromUtf8(r.N)) << r.row;
    }
    // Value labels keep their right edges whatever the width of their text.
    const struct {
        const char* column;
        int right;
    } edges[] = {{"L", 206}, {"R", 258}, {"Sum", 322}, {"N", 390}};
    for (const auto& e : edges) {
        const QLabel* l = label(u"lbAxle1Resist"_s + QLatin1String(e.column));
        EXPECT_EQ(l->x() + l->width(), e.right) << e.column;
    }
    const QLabel* wide = label(u"lbWeightData"_s);
    EXPECT_EQ(wide->x() + wide->width(), 323);

    EXPECT_EQ(text(u"lbAxle1BrakeStopName"_s), u"Ось 1 тормозная сила, кг"_s);
    EXPECT_EQ(text(u"lbAxle1BrakeStopL"_s), u"180"_s);
    EXPECT_EQ(text(u"lbAxle1BrakeStopR"_s), u"172"_s);
    EXPECT_EQ(text(u"lbAxle1BrakeStopSum"_s), u"352"_s);
    EXPECT_EQ(text(u"lbAxle1BrakeStopN"_s), u"4"_s);

    // Totals over both axles; the parking brake only over the first.
    EXPECT_EQ(text(u"lbWeightName"_s), u"Вес, кг"_s);
    EXPECT_EQ(text(u"lbWeightData"_s), u"1.545"_s);
    EXPECT_EQ(text(u"lbBrakeWorkTotalData"_s), u"983"_s);
    EXPECT_EQ(text(u"lbBrakeStopTotalData"_s), u"352"_s);
    EXPECT_EQ(text(u"lbBrakeWorkEfficiencyData"_s), u"0.64"_s);
    EXPECT_EQ(text(u"lbBrakeStopEfficiencyData"_s), u"0.23"_s);
}

TEST_F(RecordViewTest, NoParkingBrakeValueAnywhereLeavesTitleAndCaptionsWithEmptyValues) {
    show(store({NoParking}));
    EXPECT_TRUE(shown(u"pnBrakeStopInfo"_s));
    for (int n = 1; n <= 9; ++n)
        EXPECT_FALSE(shown(u"pnAxleStop%1"_s.arg(n))) << n;
    EXPECT_EQ(view.pnSum->y(), top(u"pnBrakeStopInfo"_s) + 38);
    EXPECT_EQ(text(u"lbBrakeStopTotalName"_s), u"Стояночная тормозная система, кг"_s);
    EXPECT_EQ(text(u"lbBrakeStopTotalData"_s), QString());
    EXPECT_EQ(text(u"lbBrakeStopEfficiencyData"_s), QString());
    EXPECT_EQ(text(u"lbBrakeWorkEfficiencyData"_s), u"0.63"_s); // 468 / 740
}

TEST_F(RecordViewTest, KilonewtonsDivideWeightsAndForcesButNotTheUnevenness) {
    // Rolling resistance and ovality not measured; the right brake force is the mark.
    const AxleValues axle{1234, 1200, NoValue, 14, NoValue, 5, 500, NoValue, 900, 880, 31, 30};
    show(store({axle}, 1));

    QStringList captions;
    for (const char* row : {"Weight", "Resist", "Ovality", "BrakeWork", "Pedal"})
        captions << text(u"lbAxle1"_s + QLatin1String(row) + u"Name"_s);
    captions << text(u"lbAxle1BrakeStopName"_s) << text(u"lbWeightName"_s) << text(u"lbBrakeWorkTotalName"_s)
             << text(u"lbBrakeStopTotalName"_s);
    for (const QString& c : captions)
        EXPECT_TRUE(c.endsWith(u", kN"_s)) << c.toStdString();

    EXPECT_EQ(text(u"lbAxle1WeightL"_s), u"12.34"_s);
    EXPECT_EQ(text(u"lbAxle1WeightSum"_s), u"24.34"_s);
    // Only the left value blanks a row: a right mark beside it is a number like any other.
    EXPECT_EQ(text(u"lbAxle1BrakeWorkR"_s), u"655.35"_s);
    EXPECT_EQ(text(u"lbAxle1BrakeWorkSum"_s), u"4.99"_s); // 500 + 65535 wraps to 499
    EXPECT_EQ(text(u"lbAxle1BrakeWorkN"_s), u"99"_s);
    EXPECT_EQ(text(u"lbAxle1BrakeStopN"_s), u"2"_s);
    for (const char* row : {"Resist", "Ovality"})
        for (const char* column : {"L", "R", "Sum", "N"})
            EXPECT_EQ(text(u"lbAxle1"_s + QLatin1String(row) + QLatin1String(column)), QString())
                << row << column;
    EXPECT_EQ(text(u"lbAxle1OvalityName"_s), u"Овальность, kN"_s);
    EXPECT_EQ(text(u"lbBrakeStopTotalData"_s), u"17.80"_s);
}

TEST_F(RecordViewTest, FewerAxlesHideTheRestAndMoveTheTotalsUp) {
    const int five = store({FirstAxle, FirstAxle, FirstAxle, FirstAxle, FirstAxle});
    const int two = store({FirstAxle, FirstAxle});
    show(five);
    const int sumWithFive = view.pnSum->y();
    EXPECT_TRUE(shown(u"pnAxle5"_s));
    EXPECT_TRUE(shown(u"pnAxleStop5"_s));
    show(two);
    for (int n = 3; n <= 5; ++n) {
        EXPECT_FALSE(shown(u"pnAxle%1"_s.arg(n))) << n;
        EXPECT_FALSE(shown(u"pnAxleStop%1"_s.arg(n))) << n;
    }
    EXPECT_EQ(view.pnSum->y(), sumWithFive - 3 * 100 - 3 * 18);
}

TEST_F(RecordViewTest, ATestWithoutAxlesShowsItsHeaderAndNoOtherTestsValues) {
    const int three = store({FirstAxle, FirstAxle, FirstAxle});
    const int none = store({});
    show(three);
    show(none);
    EXPECT_EQ(text(u"lbOrderNumber"_s), QString::number(none));
    for (int n = 1; n <= 9; ++n) {
        EXPECT_FALSE(shown(u"pnAxle%1"_s.arg(n))) << n;
        EXPECT_FALSE(shown(u"pnAxleStop%1"_s.arg(n))) << n;
    }
    EXPECT_TRUE(shown(u"pnBrakeWorkInfo"_s));
    EXPECT_EQ(top(u"pnBrakeStopInfo"_s), 181);
    EXPECT_EQ(view.pnSum->y(), 219);
    EXPECT_EQ(text(u"lbWeightData"_s), u"0"_s);
    EXPECT_EQ(text(u"lbBrakeWorkTotalData"_s), u"0"_s);
    EXPECT_EQ(text(u"lbBrakeStopTotalData"_s), QString());
}

TEST_F(RecordViewTest, EveryPanelAndLabelCarriesThePrintTagAndItsFont) {
    show(store({FirstAxle}));
    const QList<QWidget*> all = view.findChildren<QWidget*>();
    ASSERT_GT(all.size(), 9 * 26);
    for (const QWidget* w : all) {
        if (qobject_cast<const QLabel*>(w) || qobject_cast<const Panel*>(w)) {
            EXPECT_EQ(w->property("tag").toInt(), 180) << w->objectName().toStdString();
        }
    }

    // Sizes are cell heights in pixels.
    const struct {
        const char* name;
        int height;
        bool bold;
    } fonts[] = {
        {"lbProtocolTitle", 16, true},
        {"lbOrderNumber", 16, true},
        {"lbBrakeWorkTitle", 12, true},
        {"lbAxle2Title", 12, true},
        {"lbAxle1HeadN", 12, true},
        {"lbSumTitle", 12, true},
        {"lbVINCaption", 12, false},
        {"lbCarNumberCaption", 12, false},
        {"lbAxle1BrakeStopName", 12, false},
        {"lbWeightName", 12, false},
        {"lbBrakeStopEfficiencyName", 12, false},
        {"lbAxle1WeightName", 11, false},
        {"lbAxle1WeightL", 11, false},
        {"lbTestDate", 11, false},
        {"lbWeightData", 11, false},
    };
    for (const auto& f : fonts) {
        const QFont font = label(QLatin1String(f.name))->font();
        const int cell = QFontMetrics(font).height();
        EXPECT_LE(cell, f.height) << f.name;
        EXPECT_GE(cell, f.height - 2) << f.name;
        EXPECT_EQ(font.bold(), f.bold) << f.name;
    }
}
