#pragma once

#include "base/fileerror.h"

#include <sys/types.h>

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

// Writes a file through a temporary file in the same folder and renames it over the target only
// once it is complete and flushed to disk, so a failed save never destroys the previous file.
// writer returns false (or leaves the stream failed) to abandon the save.
// mode: permissions of the new file; when absent, an existing target keeps its permissions and
// a new one gets 0666 less the umask. A target that is a symbolic link is replaced at the link's
// destination, so the link survives.
FileError writeFileAtomically(const std::string& path,
                              const std::function<bool(std::ostream&)>& writer,
                              std::optional<mode_t> mode = std::nullopt);

// Creates an empty temporary file in the folder of path (name based on path) and returns its
// name, or an empty string with error set. The caller renames or removes it.
std::string createTemporaryBeside(const std::string& path, FileError& error);

// Flushes tempPath to disk and renames it over path (an existing target's permissions are kept);
// the temporary is removed on failure.
FileError replaceWithTemporary(const std::string& tempPath, const std::string& path);
