// Value classes of field values: date, time, timestamp, binary buffer, file,
// directory and search path.
//
// Small value types with copy, assignment and ==. today() and now() read the
// local clock. A value is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kystring.h"
#include "kyutilsexport.h"

namespace ky {

/// A calendar date (year, month, day), not checked on construction. A plain
/// value owned by whoever holds it, used by one thread at a time.
class KY_UTILS_API date {
public:
    /// 1900-01-01.
    date() = default;
    /// The given day; isValid() tells whether it exists.
    date(int year, int month, int day) : mYear(year), mMonth(month), mDay(day) {}

    /// The local date of today.
    static date today();
    /// The current local year.
    static int thisYear();

    /// The year.
    int year() const noexcept { return mYear; }
    /// The month, 1 to 12 for a valid date.
    int month() const noexcept { return mMonth; }
    /// The day of the month, from 1 for a valid date.
    int day() const noexcept { return mDay; }
    /// Whether the date exists in the Gregorian calendar (years 1 to 9999).
    bool isValid() const noexcept;

    /// Equal when year, month and day are equal.
    friend bool operator==(const date& a, const date& b) noexcept {
        return a.mYear == b.mYear && a.mMonth == b.mMonth && a.mDay == b.mDay;
    }
    /// Unequal when any of year, month and day differs.
    friend bool operator!=(const date& a, const date& b) noexcept { return !(a == b); }

private:
    int mYear = 1900;
    int mMonth = 1;
    int mDay = 1;
};

/// A time of day (hour, minute, second, nanoseconds), not checked on
/// construction. A plain value, used by one thread at a time.
class KY_UTILS_API time {
public:
    /// Midnight.
    time() = default;
    /// `fraction` is in nanoseconds.
    time(int hour, int minute, int second, long fraction = 0)
        : mHour(hour), mMinute(minute), mSecond(second), mFraction(fraction) {}

    /// The current local time of day.
    static time now();

    /// The hour, 0 to 23 for a valid time.
    int hour() const noexcept { return mHour; }
    /// The minute, 0 to 59 for a valid time.
    int minute() const noexcept { return mMinute; }
    /// The second, 0 to 59 for a valid time.
    int second() const noexcept { return mSecond; }
    /// The fraction of the second in nanoseconds.
    long fraction() const noexcept { return mFraction; }
    /// Whether every part is within its range.
    bool isValid() const noexcept;

    /// Equal when every part is equal.
    friend bool operator==(const time& a, const time& b) noexcept {
        return a.mHour == b.mHour && a.mMinute == b.mMinute && a.mSecond == b.mSecond &&
               a.mFraction == b.mFraction;
    }
    /// Unequal when any part differs.
    friend bool operator!=(const time& a, const time& b) noexcept { return !(a == b); }

private:
    int mHour = 0;
    int mMinute = 0;
    int mSecond = 0;
    long mFraction = 0;
};

/// A date with a time of day. A plain value, used by one thread at a time.
class KY_UTILS_API timestamp {
public:
    /// 1900-01-01 at midnight.
    timestamp() = default;
    /// The time `t` on the day `d`.
    timestamp(const ky::date& d, const ky::time& t) : mDate(d), mTime(t) {}

    /// The current local date and time.
    static timestamp now();

    /// The date.
    const ky::date& datePart() const noexcept { return mDate; }
    /// The time of day.
    const ky::time& timePart() const noexcept { return mTime; }

    /// Equal when date and time are equal.
    friend bool operator==(const timestamp& a, const timestamp& b) noexcept {
        return a.mDate == b.mDate && a.mTime == b.mTime;
    }
    /// Unequal when the date or the time differs.
    friend bool operator!=(const timestamp& a, const timestamp& b) noexcept { return !(a == b); }

private:
    ky::date mDate;
    ky::time mTime;
};

/// A buffer of bytes.
/// A plain value that owns its bytes, used by one thread at a time.
class KY_UTILS_API binaryBuffer {
public:
    /// An empty buffer.
    binaryBuffer() = default;
    /// A buffer of `size` zero bytes.
    explicit binaryBuffer(std::size_t size) : mBytes(size, 0) {}

    /// The number of bytes.
    std::size_t size() const noexcept { return mBytes.size(); }
    /// Read-only address of the first byte.
    const std::uint8_t* data() const noexcept { return mBytes.data(); }
    /// Writable address of the first byte.
    std::uint8_t* data() noexcept { return mBytes.data(); }
    /// The bytes themselves, writable.
    std::vector<std::uint8_t>& bytes() noexcept { return mBytes; }
    /// The bytes themselves, read-only.
    const std::vector<std::uint8_t>& bytes() const noexcept { return mBytes; }

    /// Equal when both hold the same bytes.
    friend bool operator==(const binaryBuffer& a, const binaryBuffer& b) noexcept {
        return a.mBytes == b.mBytes;
    }
    /// Unequal when the bytes differ.
    friend bool operator!=(const binaryBuffer& a, const binaryBuffer& b) noexcept { return !(a == b); }

private:
    std::vector<std::uint8_t> mBytes;
};

/// A file entry, named by its path text.
/// A plain value (the file itself is never touched), used by one thread at a time.
class KY_UTILS_API file {
public:
    /// An entry with an empty name.
    file() = default;
    /// An entry named `name`.
    explicit file(const ky::string& name) : mName(name) {}
    /// The text that names the entry.
    const ky::string& name() const noexcept { return mName; }
    /// Equal when the names are equal as written.
    friend bool operator==(const file& a, const file& b) noexcept { return a.mName == b.mName; }
    /// Unequal when the names differ as written.
    friend bool operator!=(const file& a, const file& b) noexcept { return !(a == b); }

private:
    ky::string mName;
};

/// A directory entry, named by its path text.
/// A plain value (the directory itself is never touched), used by one thread at a time.
class KY_UTILS_API directory {
public:
    /// An entry with an empty name.
    directory() = default;
    /// An entry named `name`.
    explicit directory(const ky::string& name) : mName(name) {}
    /// The text that names the entry.
    const ky::string& name() const noexcept { return mName; }
    /// Equal when the names are equal as written.
    friend bool operator==(const directory& a, const directory& b) noexcept { return a.mName == b.mName; }
    /// Unequal when the names differ as written.
    friend bool operator!=(const directory& a, const directory& b) noexcept { return !(a == b); }

private:
    ky::string mName;
};

/// An ordered list of directories.
/// A plain value, used by one thread at a time.
class KY_UTILS_API searchPath {
public:
    /// A path without directories.
    searchPath() = default;
    /// A path of `dirs` in order.
    explicit searchPath(const std::vector<directory>& dirs) : mDirs(dirs) {}
    /// The directories in order.
    const std::vector<directory>& directories() const noexcept { return mDirs; }
    /// Adds a directory at the end.
    void append(const directory& d) { mDirs.push_back(d); }
    /// Whether the path has no directory.
    bool empty() const noexcept { return mDirs.empty(); }
    /// Equal when both list equal directories in the same order.
    friend bool operator==(const searchPath& a, const searchPath& b) noexcept { return a.mDirs == b.mDirs; }
    /// Unequal when the directories or their order differ.
    friend bool operator!=(const searchPath& a, const searchPath& b) noexcept { return !(a == b); }

private:
    std::vector<directory> mDirs;
};

}  // namespace ky
