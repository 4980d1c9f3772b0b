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
