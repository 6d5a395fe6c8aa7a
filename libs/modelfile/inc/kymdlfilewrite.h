/// \file
/// Writing an output file safely: whole or not at all, never through a
/// planted link, never replacing what is not a regular file.
///
/// writeFile is what saveModelFile and the kymdl tool write every output
/// with; a host may use it for its own files. Any number of writes may run
/// on different threads at once. While a write replaces a file it keeps its
/// temporary file in a process-wide table, so that a signal handler can
/// remove what an interrupted write leaves (removePendingTemporaryFiles).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <kymdldiagnostic.h>

#include "kymdlfileexport.h"

namespace ky::metamodel::file {

/// One finding of a load, a save, a write or the model checks: where
/// (`file`, `line`, `column`), how grave, a stable code and a message naming
/// the element; `hint` and `related` where the library has them, `element`
/// for the model checks.
using diagnostic = ky::metamodel::diagnostic;

/// Writes `text` to `path`. Symbolic links are followed to the file they
/// name (the link stays a link). A regular file, or a new one, is replaced
/// through a temporary file made exclusively under a random name in the
/// same directory, synced and renamed over it, so that a reader sees the old
/// content or the whole new one; the replacement keeps the old file's
/// permission bits and owner, and a new file gets the mode the umask
/// leaves. A file with other hard links, or whose owner or group this
/// process could not give a new file, is rewritten in place instead, so
/// that every name keeps showing one content. FIFOs, devices and sockets
/// are written in place and never replaced. A file whose permission bits
/// forbid writing is refused, even when the process could override them.
/// False, with an error M100 in `diagnostics` (when given) naming the path
/// and the system's reason, when not everything was written and synced.
KY_MODELFILE_API bool writeFile(const std::string& path, std::string_view text,
                                std::vector<diagnostic>* diagnostics = nullptr);

/// Writes all of `text` to the open descriptor `fd`, retrying interrupted
/// and short writes; 0 when everything was written, else the errno of the
/// write that failed.
KY_MODELFILE_API int writeAll(int fd, std::string_view text);

/// Removes the temporary files of the writes in progress, those not yet
/// renamed over their targets. Async-signal-safe: meant for a handler of
/// SIGINT, SIGTERM and the like, which then ends the process.
KY_MODELFILE_API void removePendingTemporaryFiles() noexcept;

}  // namespace ky::metamodel::file
