#pragma once

#include <initializer_list>
#include <string>

// Concatenates pieces: the first is always taken, then each further piece until the first that
// is null or empty; that one and everything after it are ignored.
std::string joinStrings(std::initializer_list<const char*> pieces);

// Everything before the last '/' of path: "." when it has none, "/" for a name in the root.
std::string directoryOf(const std::string& path);
// Everything after the last '/' of path.
std::string fileNameOf(const std::string& path);

// Full path of the running executable, symbolic links resolved.
std::string executablePath();

// Everything before the last '/' of executablePath(); "/" for an executable in the root.
std::string executableDirectory();

// The executable's file name without directory and extension: the caption of every message
// box and the name the file types point at.
std::string applicationTitle();

// The settings file beside the executable.
std::string settingsFilePath();
