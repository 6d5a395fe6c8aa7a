// Value classes: the local clock and the calendar checks.

#include "kyvalues.h"

#include <chrono>
#include <ctime>

namespace ky {

namespace {

struct localNow {
    std::tm parts;
    long nanoseconds;
};

localNow readLocalClock() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    const std::time_t t = static_cast<std::time_t>(seconds.count());
    localNow now{};
    localtime_r(&t, &now.parts);
    now.nanoseconds = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    return now;
}

date dateOf(const std::tm& parts) { return date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday); }

ky::time timeOf(const localNow& now) {
    // A leap second reported as :60 is folded into :59.
    const int second = now.parts.tm_sec > 59 ? 59 : now.parts.tm_sec;
    return ky::time(now.parts.tm_hour, now.parts.tm_min, second, now.nanoseconds);
}

bool isLeapYear(int year) noexcept { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) noexcept {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

date date::today() { return dateOf(readLocalClock().parts); }

int date::thisYear() { return readLocalClock().parts.tm_year + 1900; }

bool date::isValid() const noexcept {
    return mYear >= 1 && mYear <= 9999 && mMonth >= 1 && mMonth <= 12 && mDay >= 1 &&
           mDay <= daysInMonth(mYear, mMonth);
}

time time::now() { return timeOf(readLocalClock()); }

bool time::isValid() const noexcept {
    return mHour >= 0 && mHour <= 23 && mMinute >= 0 && mMinute <= 59 && mSecond >= 0 && mSecond <= 59 &&
           mFraction >= 0 && mFraction <= 999999999;
}

timestamp timestamp::now() {
    const localNow clock = readLocalClock();
    return timestamp(dateOf(clock.parts), timeOf(clock));
}

}  // namespace ky
