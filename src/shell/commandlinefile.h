#pragma once

#include <string>
#include <vector>

// What the file named on the program's command line asks for.
enum class CommandLineFileKind {
    None,          // no file, or nothing the program could read: the file types get registered
    AddressBook,   // a .cpe: opened in Address Book Management before the launcher shows
    GatewayList,   // a .obl: loaded into every Upgrade window of the run
    Unrecognised,  // any other file: "Formato non riconosciuto!"
};

struct CommandLineFile {
    CommandLineFileKind kind = CommandLineFileKind::None;
    std::string path;  // absolute, with "." and ".." resolved; empty for None
};

// The platform hands the command line over split: the arguments are joined with one space into
// one path and every double quote is removed. The extension runs from the last dot anywhere in
// the full path (so a dotted folder counts when the name has none) and ignores letter case.
CommandLineFile commandLineFile(const std::vector<std::string>& arguments);

// Whether path names a regular file that opens for reading. Opened without blocking, so a FIFO
// or device named on the command line cannot stall the start.
bool isReadableFile(const std::string& path);
