// How the tool reports diagnostics: the one printer of every subcommand.
// As text, each finding is one line in the shape compilers use, so that
// editors and CI read it ("file:line:column: error: message [M012]"), with
// its hint and related places on the lines below; as JSON or SARIF 2.1.0
// the findings are kept and written as one document at the end.
#pragma once

#include <kymdldiagnostic.h>

#include <ostream>
#include <string>
#include <vector>

#include "json.h"

namespace kymdl {

/// The shape of the printer's output.
enum class reportFormat { text, json, sarif };

/// Prints or collects diagnostics. Warnings that differ only in the table
/// (class) they concern, as those of an inherited field or relation made
/// once for each derived class, are said once, naming every class.
class diagnosticPrinter {
public:
    /// Text goes to `err`; JSON and SARIF are written by finish(). With
    /// `quiet` the text holds errors only, without hints; with `colour` its
    /// severity words are coloured.
    diagnosticPrinter(reportFormat format, std::ostream& err, bool quiet, bool colour)
        : mFormat(format), mErr(err), mQuiet(quiet), mColour(colour) {}

    /// Reports `batch`, the findings of one piece of work in their order.
    void report(const std::vector<ky::metamodel::diagnostic>& batch);
    /// The number of errors reported.
    int errors() const { return mErrors; }
    /// The number of warnings reported.
    int warnings() const { return mWarnings; }
    /// JSON or SARIF: the document of everything reported; empty for text.
    std::string finish() const;

private:
    struct finding {
        ky::metamodel::diagnostic d;
        std::vector<std::string> objects;  // "table" or "table.field", one for each class concerned
    };
    // "objects: message (database message)".
    static std::string messageText(const finding& f);
    void print(const finding& f) const;
    json jsonOf(const finding& f) const;
    std::string sarif() const;

    reportFormat mFormat;
    std::ostream& mErr;
    bool mQuiet;
    bool mColour;
    int mErrors = 0;
    int mWarnings = 0;
    std::vector<finding> mKept;  // JSON and SARIF: every finding, in order
};

}  // namespace kymdl
