// What the tool writes: whole files, and aligned text tables.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kymdl {

/// Writes `text` to `path` through a temporary file beside it and a rename,
/// so that `path` holds the old content or the whole new one, never a part.
/// False with `error` naming the path and the system's reason.
bool writeWhole(const std::string& path, const std::string& text, std::string& error);

/// A table of text columns, printed with each column as wide as its widest
/// cell (counted in code points of UTF-8 text).
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
