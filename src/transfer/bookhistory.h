#pragma once

#include <ctime>
#include <string>
#include <vector>

// The copies of one gateway's book kept by back-ups: DIR/<address>/<stamp>.cpe, the stamp in UTC
// ("20261207T162030Z"), "-2", "-3"... added when two copies fall in one second. Nothing here ever
// replaces or rewrites a kept copy.

// "20261207T162030Z"
std::string historyStamp(std::time_t when);

// The folder of address's copies inside folder, made when missing; empty with why set when the
// address can't name a folder or the folder can't be made, or when it is a link or no folder.
std::string historyFolder(const std::string& folder, const std::string& address,
                          std::string& why);

// The kept copies' file names in folder, oldest first: regular files named as copies.
std::vector<std::string> historyCopies(const std::string& folder);

// The stamp of a kept copy's name ("20261207T162030Z" of "20261207T162030Z-2.cpe").
std::string stampOfCopy(const std::string& name);

// Gives the complete file temporary its place as folder/<stamp>.cpe (or -2, -3...), never
// replacing a file and never through a link; the temporary is gone afterwards either way. The
// new name, or empty with why set.
std::string placeCopy(const std::string& temporary, const std::string& folder,
                      const std::string& stamp, std::string& why);

// Removes the oldest copies so that at most keep remain (keep < 1 counts as 1: the newest always
// stays). The number removed.
int pruneHistory(const std::string& folder, int keep);

// True when both files can be read and hold the same bytes.
bool sameFileContents(const std::string& a, const std::string& b);
