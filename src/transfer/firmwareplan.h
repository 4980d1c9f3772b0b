#pragma once

#include "transfer/transfercontext.h"
#include "transfer/transferresult.h"

#include <string>
#include <vector>

// What a firmware upload to one gateway would do, read from its device folders without changing
// anything on it: the same rules as uploadFirmware, with no DELE and no STOR sent.
struct FirmwarePlan {
    // Done: the plan is whole; NotFound: the probe had no answer; Failed: see reason.
    TransferResult result = TransferResult::Failed;
    std::string reason;

    // One device directory a full upgrade cleans.
    struct Cleaning {
        std::string deviceDirectory;
        bool missing = false;   // the gateway has no such folder: nothing is deleted there
        bool unlisted = false;  // it could not be listed: nothing is deleted there
        std::vector<std::string> deletions;  // bare names, as the gateway lists them
        std::string refusal;  // why the pass would not run: the gateway would fail
    };
    std::vector<Cleaning> cleaning;  // empty for a code upgrade

    enum class Action {
        Put,            // uploaded
        NotListed,      // its extension is not in PutList
        Protected,      // NVRAM.TXT is never sent
        FolderMissing,  // its device directory can't be entered: the file would fail
    };
    struct File {
        std::string relativePath;  // below the firmware folder, '/'-separated
        std::string deviceDirectory;
        std::string name;
        Action action = Action::Put;
        std::string reason;  // for FolderMissing: the gateway's answer, as a real run gives it
    };
    std::vector<File> files;  // in the order an upload reaches them
    // Firmware folders that can't be listed (their files would fail), below the firmware folder.
    std::vector<std::string> unreadableFolders;
    // Why the gateway would fail before any removal pass (nothing would be deleted or sent).
    std::string refusal;
    // Device directories reached under another spelling, as the upload would note them.
    std::vector<std::string> notes;
};

// "Planned"; "WouldFail" for a plan with a fail line (the real run would fail); else the
// result's name ("NotFound", "Failed").
std::string firmwarePlanStatus(const FirmwarePlan& plan);
// The reason of the first fail line, or of a plan that could not be made; empty for Planned.
std::string firmwarePlanReason(const FirmwarePlan& plan);

// Probes and logs in as uploadFirmware does, then decides the removal passes and finds the
// directories files would go to with the same code, reading listings and entering directories
// only.
FirmwarePlan planFirmware(TransferContext& context, const SettingsFile& settings,
                          const std::string& sourcePath, bool fullFirmware,
                          const std::string& gatewayAddress, const std::string& userId,
                          const std::string& password);

// The plan as lines for the operator, each starting with two spaces.
std::string firmwarePlanText(const FirmwarePlan& plan);
const char* firmwareActionName(FirmwarePlan::Action action);  // "put", "skip", "skip", "fail"
// Why a file is not sent: "", "extension not in PutList", "never sent", "no device folder ..."
std::string firmwareActionReason(const FirmwarePlan::File& file);
