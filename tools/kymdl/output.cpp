#include "output.h"

#include <kymdlfilewrite.h>

#include <signal.h>
#include <unistd.h>

#include <locale.h>
#include <wchar.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cwchar>
#include <csignal>
#include <cstring>
#include <iostream>

namespace kymdl {

namespace {

// The columns `text` (UTF-8) takes on a terminal: wide characters (CJK,
// most emoji) take two, combining marks none, as the C library of the
// C.UTF-8 locale counts them; without that locale, one per character.
std::size_t width(const std::string& text) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    std::size_t columns = 0;
    std::mbstate_t state{};
    const locale_t previous = utf8 ? uselocale(utf8) : static_cast<locale_t>(0);
    for (std::size_t at = 0; at < text.size();) {
        wchar_t c = 0;
        const std::size_t length = utf8 ? std::mbrtowc(&c, text.data() + at, text.size() - at, &state) : 0;
        if (length == 0 || length > text.size() - at) {
            // Not UTF-8 (or no locale): count the lead bytes, as characters.
            if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) ++columns;
            ++at;
            state = std::mbstate_t{};
            continue;
        }
        const int w = ::wcwidth(c);
        columns += w < 0 ? 1 : static_cast<std::size_t>(w);
        at += length;
    }
    if (previous) uselocale(previous);
    return columns;
}

}  // namespace

checkedStandardOutput::checkedStandardOutput() : mPrevious(std::cout.rdbuf(this)) {
    setp(mBuffer.data(), mBuffer.data() + mBuffer.size());
}

checkedStandardOutput::~checkedStandardOutput() {
    finish();
    std::cout.rdbuf(mPrevious);
}

int checkedStandardOutput::finish() {
    flushBuffer();
    return mError;
}

bool checkedStandardOutput::flushBuffer() {
    const std::string_view buffered(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(mBuffer.data(), mBuffer.data() + mBuffer.size());
    if (!mError && !buffered.empty()) mError = ky::metamodel::file::writeAll(STDOUT_FILENO, buffered);
    return !mError;
}

int checkedStandardOutput::overflow(int c) {
    if (!flushBuffer()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize checkedStandardOutput::xsputn(const char* text, std::streamsize size) {
    if (mError) return 0;
    if (size <= epptr() - pptr()) {
        std::memcpy(pptr(), text, static_cast<std::size_t>(size));
        pbump(static_cast<int>(size));
        return size;
    }
    if (!flushBuffer()) return 0;
    mError = ky::metamodel::file::writeAll(STDOUT_FILENO, std::string_view(text, static_cast<std::size_t>(size)));
    return mError ? 0 : size;
}

int checkedStandardOutput::sync() { return flushBuffer() ? 0 : -1; }

namespace {

void removeTemporariesAndEnd(int signal) {
    ky::metamodel::file::removePendingTemporaryFiles();
    // The handler was reset on entry, so the signal, raised again, ends the
    // process as it would have without us once the handler returns.
    ::raise(signal);
}

}  // namespace

void removeTemporariesOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

bool readStandardInput(std::size_t limit, std::string& text, bool& tooLarge) {
    text.clear();
    tooLarge = false;
    std::array<char, 1 << 16> chunk{};
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, chunk.data(), chunk.size());
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.append(chunk.data(), static_cast<std::size_t>(got));
        if (text.size() > limit) {
            tooLarge = true;
            return false;
        }
    }
}

void table::print(std::ostream& out, const std::string& indent) const {
    std::vector<std::size_t> widths(mHeader.size(), 0);
    auto measure = [&](const std::vector<std::string>& row) {
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], width(row[i]));
    };
    measure(mHeader);
    for (const auto& row : mRows) measure(row);
    auto line = [&](const std::vector<std::string>& row) {
        std::string text = indent;
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
            text += row[i];
            if (i + 1 < row.size()) text += std::string(widths[i] - width(row[i]) + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out << text << "\n";
    };
    line(mHeader);
    for (const auto& row : mRows) line(row);
}

}  // namespace kymdl
