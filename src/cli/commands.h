#pragma once

#include "cli/cli.h"

#include <string>
#include <vector>

// One function per command; cli.cpp lists them in its table.
int bookShow(const std::vector<std::string>& args, CliIo& io);
int bookFromJson(const std::vector<std::string>& args, CliIo& io);
int listShow(const std::vector<std::string>& args, CliIo& io);
int listFromJson(const std::vector<std::string>& args, CliIo& io);
int probeCommand(const std::vector<std::string>& args, CliIo& io);
int downloadCommand(const std::vector<std::string>& args, CliIo& io);
int uploadBookCommand(const std::vector<std::string>& args, CliIo& io);
int uploadFirmwareCommand(const std::vector<std::string>& args, CliIo& io);
int checkCommand(const std::vector<std::string>& args, CliIo& io);
int upgradeCommand(const std::vector<std::string>& args, CliIo& io);
