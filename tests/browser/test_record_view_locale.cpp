// Runs with the Russian regional settings of the station's own system (LC_ALL=ru_RU.UTF-8).

#include "RecordViewFixture.h"
#include "TestsGridModel.h"

using namespace Qt::Literals::StringLiterals;

TEST(SystemLocale, IsRussianHere) {
    ASSERT_EQ(QLocale::system().name(), u"ru_RU"_s) << "run with LC_ALL=ru_RU.UTF-8";
}

using RussianRecordView = RecordViewFixture;

TEST_F(RussianRecordView, TwelveThousandKilogramsReadWithTheRegionsNoBreakSpace) {
    const AxleValues heavy{6000, 6000, 20, 20, 2, 2, 5000, 4000, NoValue, NoValue, 40, 40};
    show(store({heavy}));
    EXPECT_EQ(text(u"lbAxle1WeightSum"_s), u"12\u00A0000"_s);
    EXPECT_EQ(text(u"lbWeightData"_s), u"12\u00A0000"_s);
    EXPECT_EQ(text(u"lbAxle1BrakeWorkSum"_s), u"9\u00A0000"_s);
    EXPECT_EQ(text(u"lbBrakeWorkEfficiencyData"_s), u"0.75"_s);

    // The list shows date-times in the region's date and time format.
    TestsGridModel grid(dm.qrTests);
    EXPECT_EQ(grid.index(0, 3).data().toString(), u"09.12.2026 14:05:00"_s);
}
