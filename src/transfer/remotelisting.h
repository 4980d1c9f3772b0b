#pragma once

#include <string>
#include <vector>

class FtpConnection;

// One entry of a directory listing, as far as the server told it.
struct ListingEntry {
    std::string name;
    bool directory = false;
    long long size = -1;    // -1: not told
    std::string modified;   // MLSD: "2026-12-07T10:15:00Z" (UTC); LIST: the server's text
};

// MLSD lines ("type=file;size=13770;modify=20261207101500; Addrbook.cpe"); the entries for the
// directory itself and its parent, and lines without facts, are left out.
std::vector<ListingEntry> parseMlsdListing(const std::string& text);
// LIST lines in the Unix form ("-rw-r--r-- 1 owner group 13770 Dec 07 10:15 Addrbook.cpe") or
// the DOS form ("12-07-26  10:15AM  13770 Addrbook.cpe", "<DIR>" for a folder). Read leniently:
// a line of neither form ("total 12") is passed over, a name may hold spaces, links are left
// out.
std::vector<ListingEntry> parseListLines(const std::string& text);

struct RemoteFile {
    std::string path;  // "/RFA/Doc/LOGO.BMP"
    long long size = -1;
    std::string modified;
};

struct RemoteTree {
    bool complete = false;
    std::string method;  // "MLSD", "LIST" or "NLST": what the server answered
    std::string reason;  // why the tree is not complete
    std::vector<RemoteFile> files;  // in the order listed, each folder's files before its folders'
};

// At most this many files and folders deep are listed: a gateway holds a few dozen files two
// levels down, so more comes from a broken or hostile server.
inline constexpr std::size_t MaxRemoteFiles = 10000;
inline constexpr int MaxRemoteDepth = 6;

// Every file below root ("/RFA/"), from the listing the server supports: MLSD, else LIST read
// leniently, else NLST with a SIZE for each name (a name without a size that can be entered is a
// folder).
RemoteTree listRemoteTree(FtpConnection& connection, const std::string& root);
