#include "output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kymdl {

namespace {

std::size_t width(const std::string& text) {
    // Continuation bytes of UTF-8 start with the bits 10.
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

bool writeWhole(const std::string& path, const std::string& text, std::string& error) {
    const std::string partial = path + ".tmp" + std::to_string(getpid());
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeErrno = errno;
    if (std::fclose(file) != 0 || !written) {
        error = "cannot write " + path + ": " + std::strerror(written ? errno : writeErrno);
        std::remove(partial.c_str());
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(partial.c_str());
        return false;
    }
    return true;
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
