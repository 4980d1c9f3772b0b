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
// a new one gets 0666 less the umask; an existing target's owner and group are kept where the
// process may set them. A target that is a symbolic link is replaced at the link's destination,
// so the link survives; but a link that another user owns in a sticky, world-writable folder
// is not followed (ForeignLink), as the kernel's fs.protected_symlinks would refuse it. The
// temporary is created exclusively, beside the file the links lead to. An existing target must
// be a regular file the user may write (else AccessDenied, IsFolder, IsPipe or IsSpecialFile,
// and it is left alone). When only the folder
// refuses a temporary, a writable target is cut to zero and written in place instead.
FileError writeFileAtomically(const std::string& path,
                              const std::function<bool(std::ostream&)>& writer,
                              std::optional<mode_t> mode = std::nullopt);

// ForeignLink when path is, or its links lead through, a link that the savers won't follow (a
// folder given for new files, say); None otherwise.
FileError foreignLinkError(const std::string& path);

// The checks writeFileAtomically makes before it writes anything: None when path can be
// saved to as far as can be told beforehand (a missing file is fine).
FileError checkSaveTarget(const std::string& path);

// Creates an empty temporary file in the folder of path (name based on path) and returns its
// name, or an empty string with error set. The caller renames or removes it. When the folder is
// closed to the user but the file in it is writable, the temporary lies in the system's
// temporary folder and replaceWithTemporary writes the file in place.
std::string createTemporaryBeside(const std::string& path, FileError& error);

// Flushes tempPath to disk and renames it over path (an existing target's permissions, owner and
// group are kept, with the same checks of the target as writeFileAtomically); the temporary is
// removed in any case once it is no longer needed.
FileError replaceWithTemporary(const std::string& tempPath, const std::string& path);
