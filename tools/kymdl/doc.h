// The documentation site of a model: an index of its classes with a search
// box, a page per class, a stylesheet, a small script and class diagrams.
#pragma once

#include <kymetamodel.h>

#include <string>

namespace kymdl {

/// How a site is written.
struct docOptions {
    /// Draws the overview and neighbourhood diagrams (needs Graphviz's dot).
    bool diagrams = true;
    /// Writes into an existing folder that holds files of others.
    bool force = false;
    /// The heading of the index and the end of every page's title.
    std::string title = "Model documentation";
};

/// What writing a site gave.
struct docResult {
    /// Whether the whole site was written.
    bool ok = false;
    /// Why nothing (or not everything) was written, when not ok.
    std::string error;
    /// Something the reader should know although the site was written (such
    /// as diagrams left out because dot is missing); empty otherwise.
    std::string note;
    /// The number of files written.
    std::size_t files = 0;
};

/// The file name (without folder) of the page of the class named
/// `className` (UTF-8): ASCII letters, digits and '-' as they are, '_' as
/// "__", every other byte as '_' and two hexadecimal digits, so that distinct
/// names give distinct files and no name can leave the folder. Names that
/// would make a file name longer than file systems hold are cut and end with
/// a hash of the whole name. Ends with ".html".
std::string pageFileName(const std::string& className);

/// Writes the site of `model` into the folder `dir`, made when missing. A
/// folder that holds files and no mark of an earlier site is refused unless
/// `options.force`. Pages of classes gone since the earlier site are removed.
docResult writeSite(const ky::metamodel::modelInfo& model, const std::string& dir, const docOptions& options);

}  // namespace kymdl
