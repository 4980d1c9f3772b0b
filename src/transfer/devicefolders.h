#pragma once

#include "transfer/firmwarerules.h"
#include "transfer/firmwaretree.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

class FtpConnection;

inline constexpr const char* NoPutListFileReason =
    "the firmware folder holds no file that PutList uploads";

// Finds, on one connection, the device directory a firmware sub-folder's files reach. A gateway
// that ignores case takes "/RFA/IMAGES/" for its "/RFA/Images/"; one that keeps case answers 550,
// and the files then go to the existing directory whose name equals it ignoring case, found in
// the listing of its parent. The exact spelling is always tried first, so what a case-blind
// gateway is sent does not change. Answers are kept for the connection's life.
class DeviceFolderFinder {
public:
    explicit DeviceFolderFinder(FtpConnection& connection) : m_connection(connection) {}

    // Enters the directory that wanted's files reach and returns it; nullopt when there is none
    // (reply() then tells why the spelling asked for could not be entered).
    std::optional<std::string> enter(const std::string& wanted);
    // Whether wanted's files reach a directory (the current directory may change).
    bool reaches(const std::string& wanted);
    // The server's answer to the first attempt to enter wanted.
    std::string reply(const std::string& wanted) const;
    // One line per directory reached under another spelling, in the order they were found;
    // each is handed out once.
    std::vector<std::string> takeNotes();

private:
    struct Found {
        std::optional<std::string> directory;
        std::string reply;
    };
    const Found& find(const std::string& wanted);

    FtpConnection& m_connection;
    std::map<std::string, Found> m_found;
    std::vector<std::string> m_notes;
    bool m_inFound = false;  // the last find entered the directory it found
};

// "firmware folder FOLDER could not be read"
std::string firmwareFolderUnreadable(const std::string& sourcePath);

// True when some file of folder's whole tree is listed in putList.
bool holdsPutListFile(const std::string& folder, const ExtensionList& putList);

// Why a firmware upgrade from sourcePath must not start at all: the folder can't be read,
// PutList is empty, or no file of the folder matches it (every gateway would report Done with
// nothing sent). Empty when it may start.
std::string firmwareSourceProblem(const SettingsFile& settings, const std::string& sourcePath);

// One removal pass of a full upgrade, decided right before it would run: refusal (empty when
// it may run) says why nothing in it is deleted.
struct CleaningDecision {
    CleaningStep step;
    std::string refusal;
};
struct CleaningDecisions {
    // Set when no pass may run at all: the firmware folder, as listed now, holds no file that
    // PutList uploads.
    std::string refusal;
    std::vector<CleaningDecision> passes;
};

// The removal passes of a full upgrade of sourcePath on the gateway finder talks to: /RFA/'s
// only when some file will be uploaded, a sub-folder's only when the matching local folder's
// files reach a device directory. Deletes nothing; the upload and its dry run share it.
CleaningDecisions decideCleaning(DeviceFolderFinder& finder, const SettingsFile& settings,
                                 const std::string& sourcePath);
