// Value classes: calendar validity and the local clock.

#include <gtest/gtest.h>
#include <kyvalues.h>

namespace {

TEST(DateValue, ValidityFollowsTheGregorianCalendar) {
    EXPECT_TRUE(ky::date(2024, 2, 29).isValid());
    EXPECT_TRUE(ky::date(2000, 2, 29).isValid());
    EXPECT_FALSE(ky::date(1900, 2, 29).isValid());
    EXPECT_FALSE(ky::date(2023, 2, 29).isValid());
    EXPECT_TRUE(ky::date(2023, 4, 30).isValid());
    EXPECT_FALSE(ky::date(2023, 4, 31).isValid());
    EXPECT_FALSE(ky::date(2023, 0, 1).isValid());
    EXPECT_FALSE(ky::date(2023, 13, 1).isValid());
    EXPECT_FALSE(ky::date(2023, 1, 0).isValid());
    EXPECT_FALSE(ky::date(0, 1, 1).isValid());
    EXPECT_TRUE(ky::date().isValid());
}

TEST(TimeValue, ValidityKeepsEveryPartInItsRange) {
    EXPECT_TRUE(ky::time(23, 59, 59, 999999999).isValid());
    EXPECT_FALSE(ky::time(24, 0, 0).isValid());
    EXPECT_FALSE(ky::time(0, 60, 0).isValid());
    EXPECT_FALSE(ky::time(0, 0, 60).isValid());
    EXPECT_FALSE(ky::time(0, 0, 0, 1000000000).isValid());
    EXPECT_FALSE(ky::time(0, 0, 0, -1).isValid());
    EXPECT_FALSE(ky::time(-1, 0, 0).isValid());
}

TEST(LocalClock, TodayAndNowAreValidLocalValues) {
    const ky::timestamp moment = ky::timestamp::now();
    EXPECT_TRUE(moment.datePart().isValid());
    EXPECT_TRUE(moment.timePart().isValid());
    EXPECT_TRUE(ky::date::today().isValid());
    EXPECT_TRUE(ky::time::now().isValid());
    EXPECT_GE(ky::date::thisYear(), 2024);
}

}  // namespace
