// Log lines of the utility layer.
//
// A logger is fetched by name from the logManager and writes lines with a
// level, a message, the source path, the line and the function name. Every
// line at or above the manager's level goes to one sink, which the host may
// replace; lines below the level are dropped before anything is formatted.
// Loggers, the level and the sink may be used from several threads.
#pragma once

#include <cstddef>
#include <functional>

#include "kystring.h"
#include "kyutilsexport.h"

namespace kylog {

/// The level of a log line, from trace (lowest) to fatal; at off nothing is written.
enum class level { trace = 0, debug = 1, info = 2, warn = 3, error = 4, fatal = 5, off = 6 };

/// The lower-case word of a level ("trace", "debug", ...).
KY_UTILS_API const wchar_t* levelName(level l) noexcept;

/// An object a log line may be about; the metamodel passes none.
/// Owned by the host; the library only passes it on to the sink.
class KY_UTILS_API iLogObj {
public:
    virtual ~iLogObj();
};

/// One log line as the sink receives it.
/// A plain value the manager makes for each line and the sink only reads.
struct logRecord {
    /// The level of the line.
    level lvl;
    ky::string logger;    ///< the logger's name
    /// The text of the line.
    ky::string message;
    ky::string file;      ///< source path
    /// The line number in the source file.
    int line;
    ky::string function;  ///< function name
};

/// A sink that takes each line as one logRecord.
using logSink = std::function<void(const logRecord&)>;
/// A sink that takes the parts of a line one by one: level, logger name,
/// message, source path, line and function name.
using logLineSink = std::function<void(level, const ky::string& logger, const ky::string& message,
                                       const ky::string& file, int line, const ky::string& function)>;

/// A named logger, made and owned by logManager and valid for the life of the
/// process; it writes through the manager's sink and may be used from several threads.
class KY_UTILS_API logger {
public:
    /// A logger named `name` (loggers are fetched with logManager::getLogger).
    explicit logger(const ky::string& name) : mName(name) {}

    /// The name the logger was fetched under.
    const ky::string& name() const noexcept { return mName; }
    /// Whether a line at `l` would be written.
    bool isEnabled(level l) const noexcept;

    /// Write one line at the given level (dropped below the manager's level).
    void log(level l, const ky::string& message, const wchar_t* file, int line,
             const wchar_t* function, const iLogObj* obj) const;
    /// Writes one line at level trace.
    void log_trace(const ky::string& message, const wchar_t* file, int line, const wchar_t* function,
                   const iLogObj* obj) const { log(level::trace, message, file, line, function, obj); }
    /// Writes one line at level debug.
    void log_debug(const ky::string& message, const wchar_t* file, int line, const wchar_t* function,
                   const iLogObj* obj) const { log(level::debug, message, file, line, function, obj); }
    /// Writes one line at level info.
    void log_info(const ky::string& message, const wchar_t* file, int line, const wchar_t* function,
                  const iLogObj* obj) const { log(level::info, message, file, line, function, obj); }
    /// Writes one line at level warn.
    void log_warn(const ky::string& message, const wchar_t* file, int line, const wchar_t* function,
                  const iLogObj* obj) const { log(level::warn, message, file, line, function, obj); }
    /// Writes one line at level error.
    void log_error(const ky::string& message, const wchar_t* file, int line, const wchar_t* function,
                   const iLogObj* obj) const { log(level::error, message, file, line, function, obj); }

private:
    ky::string mName;
};

/// The process-wide registry of loggers, with the level and the sink of every
/// line; all static, and safe to use from several threads.
class KY_UTILS_API logManager {
public:
    /// The logger of `name`, made on first use; never empty, valid for the
    /// life of the process.
    static logger& getLogger(const wchar_t* name);
    /// The logger of `name`, made on first use; never empty, valid for the life of the process.
    static logger& getLogger(const ky::string& name);

    /// Installs the sink of every line (an empty sink restores the default,
    /// which writes to standard error in UTF-8); answers the previous sink.
    static logSink setSink(logSink sink);
    /// Installs a sink that takes the parts of each line; answers the previous sink.
    static logSink setSink(logLineSink sink);
    /// Restores the default sink; answers the previous sink.
    static logSink setSink(std::nullptr_t) { return setSink(logSink()); }
    /// Sets the lowest level that is written; answers the previous level.
    /// The default level is warn.
    static level setLevel(level l) noexcept;
    /// The lowest level that is written.
    static level getLevel() noexcept;
    /// Whether a line at `l` would be written.
    static bool isEnabled(level l) noexcept { return l >= getLevel() && l != level::off; }

    /// Hands a finished line to the sink (used by logger).
    static void write(const logRecord& record);
};

}  // namespace kylog
