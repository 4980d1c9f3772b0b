#pragma once

#include "base/fileerror.h"
#include "cli/cli.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct ListFileReport;

// Why a user ID or password is refused; it never repeats the text.
inline constexpr const char* UnsendableLoginText =
    "holds a CR, LF or NUL character, which can't be sent to a gateway";
inline constexpr const char* UnsendableLoginMessage =
    "the user ID or password holds a CR, LF or NUL character, which can't be sent to a gateway";

// One function per command; cli.cpp lists them in its table.
int bookShow(const std::vector<std::string>& args, CliIo& io);
int bookFromJson(const std::vector<std::string>& args, CliIo& io);
int listShow(const std::vector<std::string>& args, CliIo& io);
int listFromJson(const std::vector<std::string>& args, CliIo& io);
int listFromCsv(const std::vector<std::string>& args, CliIo& io);
int bookFromCsv(const std::vector<std::string>& args, CliIo& io);
int probeCommand(const std::vector<std::string>& args, CliIo& io);
int downloadCommand(const std::vector<std::string>& args, CliIo& io);
int uploadBookCommand(const std::vector<std::string>& args, CliIo& io);
int uploadFirmwareCommand(const std::vector<std::string>& args, CliIo& io);
int checkCommand(const std::vector<std::string>& args, CliIo& io);
int upgradeCommand(const std::vector<std::string>& args, CliIo& io);
int backupCommand(const std::vector<std::string>& args, CliIo& io);
int inventoryCommand(const std::vector<std::string>& args, CliIo& io);

// For the commands that read a gateway list: a file of another format or version (exit 2) or one
// that can't be read (exit 1) is reported, and that status returned. A list cut short is left to
// the caller, which still holds the records read before the cut.
std::optional<int> reportUnreadableList(const ListFileReport& report, const std::string& path,
                                        CliIo& io);

// from-json and from-csv of "list" or "book" (noun): reads INPUT as JSON, or as CSV rows that
// fromCsv turns into the same document, hands the document to take (both throw BadInput naming
// where), then writes OUTPUT with save. Failures are told; returns the exit status.
using CsvRows = std::vector<std::vector<std::string>>;
int convertFile(const std::vector<std::string>& args, CliIo& io, bool csv, const char* noun,
                const std::function<nlohmann::json(CsvRows)>& fromCsv,
                const std::function<void(const nlohmann::json&)>& take,
                const std::function<FileError(const std::string& path)>& save);
