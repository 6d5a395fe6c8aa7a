// Value classes: calendar validity and the local clock.
#include <gtest/gtest.h>
#include <kyvalues.h>

namespace {

TEST(DateValue, ValidityFollowsTheGregorianCalendar) {
    for (const ky::date& d : {ky::date(2024, 2, 29), ky::date(2000, 2, 29), ky::date(2023, 4, 30), ky::date()})
        EXPECT_TRUE(d.isValid());
    for (const ky::date& d : {ky::date(1900, 2, 29), ky::date(2023, 2, 29), ky::date(2023, 4, 31),
                              ky::date(2023, 0, 1), ky::date(2023, 13, 1), ky::date(2023, 1, 0), ky::date(0, 1, 1)})
        EXPECT_FALSE(d.isValid());
}

TEST(TimeValue, ValidityKeepsEveryPartInItsRange) {
    EXPECT_TRUE(ky::time(23, 59, 59, 999999999).isValid());
    for (const ky::time& t : {ky::time(24, 0, 0), ky::time(0, 60, 0), ky::time(0, 0, 60),
                              ky::time(0, 0, 0, 1000000000), ky::time(0, 0, 0, -1), ky::time(-1, 0, 0)})
        EXPECT_FALSE(t.isValid());
}

TEST(LocalClock, TodayAndNowAreValidLocalValues) {
    const ky::timestamp moment = ky::timestamp::now();
    EXPECT_TRUE(moment.datePart().isValid() && moment.timePart().isValid());
    EXPECT_TRUE(ky::date::today().isValid() && ky::time::now().isValid());
    EXPECT_GE(ky::date::thisYear(), 2024);
}

}  // namespace
