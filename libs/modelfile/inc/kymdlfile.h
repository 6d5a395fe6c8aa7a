/// \file
/// Model description files: a whole model loaded from and saved to YAML or
/// JSON, with diagnostics like a compiler's.
///
/// A load reads the text into a plain tree, checks everything it can (every
/// error of the file in one pass), and builds a model only when no error was
/// found: a host never receives a half-built model, and the core's assertion
/// handler never hears from a load. Loads keep no state between calls, so
/// any number of them may run on different threads at once; a save only
/// reads its model. The format is described in docs/model-file.md.
///
/// A string field's length, which fieldInfo::parseType answers but the core
/// does not keep, lives in the field's type attributes under the key
/// "length" (an int); the loader stores it there and the saver reads it back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <kymdldiagnostic.h>
#include <kymetamodel.h>
#include <kystring.h>

#include "kymdlfileexport.h"
#include "kymdlfilewrite.h"

namespace ky::metamodel::file {

/// How grave a diagnostic is: an error stops the load from building a model.
using eSeverity = ky::metamodel::eSeverity;
using ky::metamodel::eError;
using ky::metamodel::eWarning;

/// The syntax of a model file.
enum eFormat : std::uint32_t {
    eAutoFormat = 0,  ///< by the file name's extension, else by the first character of the text
    eYaml = 1,        ///< YAML (block style when written)
    eJson = 2,        ///< JSON
};

/// The codes this library reports, in the order of docs/model-file.md.
KY_MODELFILE_API const std::vector<diagnosticCode>& codeTable();

/// Limits of a load, so that hostile input ends in a diagnostic with bounded
/// time and memory.
struct KY_MODELFILE_API loadOptions {
    eFormat format = eAutoFormat;             ///< the syntax; eAutoFormat guesses
    std::uint64_t maxFileSize = 512u << 20;   ///< larger files are refused unread (bytes)
    std::uint32_t maxDepth = 64;              ///< deeper nesting of collections is refused
    std::uint64_t maxAliasNodes = 100000;     ///< nodes that YAML aliases may copy, in all
    std::uint64_t maxAliasBytes = 16u << 20;  ///< bytes of scalar text that YAML aliases may copy, in all
    std::uint32_t maxNameLength = 1024;       ///< longer class, field or relation names are refused
    std::uint32_t maxDiagnostics = 1000;      ///< the load stops after this many errors
    /// Runs checkModel on the loaded model and adds its findings, placed at
    /// the entries of the elements they concern. Off by default: a load then
    /// reports only what is wrong with the file itself.
    bool runChecks = false;
    /// Fills loadResult::places, so that a host can place its own findings
    /// about the model's elements at their entries. Off by default.
    bool recordPlaces = false;
};

/// What a load answers: the model, or an empty pointer when an error was
/// found, and every diagnostic in file order (by line, then column).
struct KY_MODELFILE_API loadResult {
    ky::refPtr<ky::metamodel::modelInfo> model;  ///< empty when any error was reported
    std::vector<diagnostic> diagnostics;         ///< errors and warnings, in file order
    /// With loadOptions::recordPlaces: where each element is defined, by
    /// "class", "class.field" or "class.relation" (the line and column of a
    /// class's or field's name, of a copied field's copy entry, of a
    /// relation's entry); empty otherwise.
    std::unordered_map<ky::string, diagnosticPlace> places;

    /// Whether an error (not only warnings) was reported.
    bool hasErrors() const;
};

/// The format a file name's extension names, in any case: eJson for
/// ".json", eYaml for ".yaml" and ".yml", eAutoFormat for any other name.
/// Loading, saving and the tool all tell the format by it.
KY_MODELFILE_API eFormat formatOfPath(std::string_view path);

/// Loads a model from a file. The file name is the diagnostics' file.
/// Never throws for a bad file: an unreadable path, a directory or a file
/// above options.maxFileSize each give a diagnostic.
KY_MODELFILE_API loadResult loadModelFile(const std::string& path, const loadOptions& options = loadOptions());

/// Loads a model from text (UTF-8) whose diagnostics name `name`; with
/// eAutoFormat the extension of `name` decides, then the text's first
/// character ('{' is JSON).
KY_MODELFILE_API loadResult loadModelText(std::string_view text, const ky::string& name,
                                          const loadOptions& options = loadOptions());

/// The model as a model file in `format` (eAutoFormat is YAML): UTF-8,
/// deterministic (the same model always gives the same bytes). What the
/// format cannot hold (host objects as user properties, value types without
/// a text form) is left out with a warning in `diagnostics` when given.
KY_MODELFILE_API std::string saveModelText(const ky::const_refPtr<ky::metamodel::modelInfo>& model, eFormat format,
                                           std::vector<diagnostic>* diagnostics = nullptr);

/// Writes saveModelText to `path` (eAutoFormat: as formatOfPath names it,
/// YAML when it names none) with writeFile: whole or not at all. False, with an
/// error M100 in `diagnostics` when given, when the file cannot be written.
KY_MODELFILE_API bool saveModelFile(const ky::const_refPtr<ky::metamodel::modelInfo>& model, const std::string& path,
                                    eFormat format = eAutoFormat, std::vector<diagnostic>* diagnostics = nullptr);

/// The model checks (codes M201 and up): what a model may hold but most
/// likely holds by mistake, such as a relation towards a class without a
/// primary key or an abstract class that nothing derives from. Works on any
/// model, built in code, loaded or reflected; reads it only. Findings come
/// class by class in registration order (the class, its fields, the
/// relations made on it), without file or place; each names its element in
/// `element` and says what to do in `hint`. Most are warnings; see
/// docs/model-file.md for each code and its severity.
KY_MODELFILE_API std::vector<diagnostic> checkModel(const ky::const_refPtr<ky::metamodel::modelInfo>& model);

/// Whether two models describe the same thing in every attribute the model
/// file holds: name rule, classes in order with label, abstract mark,
/// aliases, bases, user properties and fields (each with type, custom type,
/// type and semantic attributes, label, unit, marks, expressions, stored
/// default, aliases, user properties, source), and the relations made on
/// each class in order. Each difference found is appended to `differences`
/// (when given) as a sentence naming the element.
KY_MODELFILE_API bool equalModels(const ky::const_refPtr<ky::metamodel::modelInfo>& a,
                                  const ky::const_refPtr<ky::metamodel::modelInfo>& b,
                                  std::vector<ky::string>* differences = nullptr);

}  // namespace ky::metamodel::file
