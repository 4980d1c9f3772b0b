#pragma once

#include "gatewaylist/listfile.h"

#include <string>

// How loading a gateway list went, as the operator is told: the Upgrade window and the
// command-line tool both read a list through this.
enum class ListFileOutcome {
    Loaded,       // the whole list; nothing to say
    WrongFormat,  // another version or not a gateway list; the list stays empty
    CutShort,     // the file ended inside a record; the records before it stay
    Unreadable,   // the file could not be opened or read
};

struct ListFileReport {
    ListFileOutcome outcome = ListFileOutcome::Loaded;
    // The message: for WrongFormat the bare text ("OBL Format not recognized!"), otherwise the
    // file-error text naming the file.
    std::string message;
};

// cutShortName: how the end-of-file message names the file (the window names none, as
// UnnamedFile; the tool names path).
ListFileReport listFileReport(const ListFileResult& result, const std::string& path,
                              const std::string& cutShortName);
