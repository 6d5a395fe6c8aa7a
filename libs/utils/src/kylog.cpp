// Loggers, the process-wide level and the sink.
//
// The level is one atomic, read before a line is built, so a line below it
// costs one load. Loggers are made once per name and never freed; the sink is
// shared by pointer so that it is called outside the lock (a sink may log).

#include "kylog.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>

#include "kyscstring.h"

namespace kylog {

namespace {

struct logState {
    std::shared_mutex loggersLock;
    std::unordered_map<ky::scString, logger*> loggers;  // never freed: references stay valid
    std::mutex sinkLock;
    std::shared_ptr<const logSink> sink;                 // null: the standard error sink
};

// Made on first use and never destroyed, so loggers outlive every caller.
logState& state() {
    static logState* const s = new logState();
    return *s;
}

constinit std::atomic<level> gLevel{level::warn};

void writeToStderr(const logRecord& r) {
    const ky::string line = ky::string::sformat(L"[%s] %s: %s (%s:%d, %s)\n", levelName(r.lvl),
                                                r.logger.c_str(), r.message.c_str(), r.file.c_str(),
                                                r.line, r.function.c_str());
    const std::string utf8 = line.toUtf8();
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

std::shared_ptr<const logSink> currentSink() {
    logState& s = state();
    std::lock_guard<std::mutex> lock(s.sinkLock);
    return s.sink;
}

// The logger of an interned name: a shared lock finds it, the first caller
// makes it under the exclusive lock.
logger& loggerOf(ky::scString key) {
    logState& s = state();
    {
        std::shared_lock<std::shared_mutex> lock(s.loggersLock);
        const auto found = s.loggers.find(key);
        if (found != s.loggers.end()) return *found->second;
    }
    std::unique_lock<std::shared_mutex> lock(s.loggersLock);
    logger*& slot = s.loggers[key];
    if (!slot) slot = new logger(key.string());
    return *slot;
}

}  // namespace

const wchar_t* levelName(level l) noexcept {
    switch (l) {
        case level::trace: return L"trace";
        case level::debug: return L"debug";
        case level::info: return L"info";
        case level::warn: return L"warn";
        case level::error: return L"error";
        case level::fatal: return L"fatal";
        case level::off: return L"off";
    }
    return L"?";
}

iLogObj::~iLogObj() = default;

bool logger::isEnabled(level l) const noexcept { return logManager::isEnabled(l); }

void logger::log(level l, const ky::string& message, const wchar_t* file, int line,
                 const wchar_t* function, const iLogObj*) const {
    if (!logManager::isEnabled(l)) return;
    logManager::write(logRecord{l, mName, message, file ? file : L"", line, function ? function : L""});
}

logger& logManager::getLogger(const ky::string& name) { return loggerOf(ky::scString::createFrom(name)); }

logger& logManager::getLogger(const wchar_t* name) { return loggerOf(ky::scString::createFrom(name)); }

logSink logManager::setSink(logLineSink sink) {
    if (!sink) return setSink(logSink());
    return setSink(logSink([parts = std::move(sink)](const logRecord& r) {
        parts(r.lvl, r.logger, r.message, r.file, r.line, r.function);
    }));
}

logSink logManager::setSink(logSink sink) {
    auto next = sink ? std::make_shared<const logSink>(std::move(sink)) : nullptr;
    logState& s = state();
    std::shared_ptr<const logSink> previous;
    {
        std::lock_guard<std::mutex> lock(s.sinkLock);
        previous = std::exchange(s.sink, std::move(next));
    }
    return previous ? *previous : logSink();
}

level logManager::setLevel(level l) noexcept { return gLevel.exchange(l, std::memory_order_relaxed); }

level logManager::getLevel() noexcept { return gLevel.load(std::memory_order_relaxed); }

void logManager::write(const logRecord& record) {
    const std::shared_ptr<const logSink> sink = currentSink();
    if (sink) {
        (*sink)(record);
    } else {
        writeToStderr(record);
    }
}

}  // namespace kylog
