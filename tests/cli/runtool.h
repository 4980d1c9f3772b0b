#pragma once

#include "support/programrun.h"

#include <string>
#include <vector>

using ToolRun = ProgramRun;

// Runs the built orbiphon-cli with args, standard input empty, and captures what it prints.
// stdoutPath, when given, replaces the captured standard output (e.g. "/dev/full").
ToolRun runTool(const std::vector<std::string>& args, const std::string& stdoutPath = {});

// The one-line message contract: exactly one line, starting with the program name.
bool isOneLineMessage(const std::string& err);

// The 13770 bytes of an address book that seed tells apart from others, with a CR LF inside
// that a text-mode transfer would change.
inline std::string bookBytes(char seed)
{
    std::string bytes(13770, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(seed + static_cast<char>(i % 251));
    bytes.replace(500, 2, "\r\n");
    return bytes;
}
