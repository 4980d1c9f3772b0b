#pragma once

#include "support/programrun.h"

#include <sstream>
#include <string>
#include <vector>

using ToolRun = ProgramRun;
using Lines = std::vector<std::string>;

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

inline Lines linesOf(const std::string& text)
{
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines a batch prints for its gateways ("2 127.0.0.3 Uploaded"), in order.
inline Lines gatewayLines(const std::string& out)
{
    Lines result;
    for (const std::string& line : linesOf(out)) {
        if (!line.empty() && line[0] >= '1' && line[0] <= '9')
            result.push_back(line);
    }
    return result;
}
