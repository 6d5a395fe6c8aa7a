// What the tool reads and writes: standard input read whole, standard output
// through a checked buffer, cleanup of temporary files on a fatal signal, and
// aligned text tables.
#pragma once

#include <array>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace kymdl {

/// Standard output with every write checked: while it lives, std::cout
/// writes through it. After the first failed write the rest is dropped and
/// the stream goes bad; finish() tells the reason.
class checkedStandardOutput : public std::streambuf {
public:
    checkedStandardOutput();
    ~checkedStandardOutput() override;
    checkedStandardOutput(const checkedStandardOutput&) = delete;
    checkedStandardOutput& operator=(const checkedStandardOutput&) = delete;

    /// Writes what is buffered; 0 when everything reached standard output,
    /// else the errno of the first write that failed.
    int finish();

protected:
    int overflow(int c) override;
    std::streamsize xsputn(const char* text, std::streamsize size) override;
    int sync() override;

private:
    bool flushBuffer();

    std::array<char, 1 << 16> mBuffer{};
    int mError = 0;                       // the first failure's errno; 0 while all went well
    std::streambuf* mPrevious = nullptr;  // std::cout's buffer before, given back at the end
};

/// Has SIGINT, SIGTERM, SIGHUP and SIGXFSZ remove the temporary files of
/// writes in progress before they end the process (a signal the tool was
/// started with ignored stays ignored).
void removeTemporariesOnSignals();

/// Reads standard input to its end into `text`; false when a read fails or
/// the input holds more than `limit` bytes (then `tooLarge`), reading no
/// further than one read past the limit.
bool readStandardInput(std::size_t limit, std::string& text, bool& tooLarge);

/// A table of text columns, printed with each column as wide as its widest
/// cell (counted in terminal columns: a CJK character takes two).
class table {
public:
    explicit table(std::vector<std::string> header) : mHeader(std::move(header)) {}

    /// Appends a row (as many cells as the header).
    void add(std::vector<std::string> row) { mRows.push_back(std::move(row)); }
    /// The number of rows, the header not counted.
    std::size_t rows() const { return mRows.size(); }
    /// Prints the header and the rows, each line after `indent`; trailing
    /// blanks are left out.
    void print(std::ostream& out, const std::string& indent) const;

private:
    std::vector<std::string> mHeader;
    std::vector<std::vector<std::string>> mRows;
};

}  // namespace kymdl
