#pragma once

#include "transfer/ftpclient.h"
#include "transfer/probe.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// An FTP server in memory for what a real one can't be made to do on cue: every step is written
// to a log ("open(Upgrade)", "connect(127.0.0.1:21,ftp,secret)", "cd(/RFA/)", "put(a.bin)",
// "get(Addrbook.cpe)", "delete(x.bin)", "size(a.bin)", "list", "close", "closeClient") and any
// step can be made to fail. Share the log with a RecordingProgress to pin the order of steps and
// progress calls.
class FakeFtp final : public FtpClientFactory {
public:
    FakeFtp();
    explicit FakeFtp(std::vector<std::string>& sharedLog);

    std::unique_ptr<FtpClient> open(const std::string& agent) override;

    const std::vector<std::string>& log() const { return *m_log; }
    void record(std::string step) { m_log->push_back(std::move(step)); }

    bool openFails = false;
    bool connectFails = false;
    // Directories that exist; changeDirectory to any other fails. Empty: every one exists.
    std::set<std::string> directories;
    // Remote names (in any directory) whose put, get or delete fails.
    std::set<std::string> failingPuts;
    std::set<std::string> failingGets;
    std::set<std::string> failingDeletes;
    bool listFails = false;
    // What listDirectory answers, per directory.
    std::map<std::string, std::vector<std::string>> listings;
    // What getFile writes into the local file, per remote name.
    std::map<std::string, std::string> remoteFiles;
    // What remoteSize answers, per remote name; a name not here gets the size of what was put
    // under it, or a refusal.
    std::map<std::string, RemoteSize> sizes;
    // Local paths put, with the bytes they held, keyed by device directory + remote name.
    std::map<std::string, std::string> uploaded;

private:
    std::vector<std::string> m_ownLog;
    std::vector<std::string>* m_log;
};

// Answers the probe from a set of silent addresses and writes "probe(address,timeout)" to a
// log (its own, or one shared with the other fakes).
class FakeProber final : public Prober {
public:
    FakeProber();
    explicit FakeProber(std::vector<std::string>& sharedLog);

    ProbeResult probe(const std::string& gatewayAddress, int timeoutMs) override;

    const std::vector<std::string>& log() const { return *m_log; }

    std::set<std::string> silent;
    bool allSilent = false;
    // Called during every probe, e.g. to look at the windows while it runs.
    std::function<void()> onProbe;

private:
    std::vector<std::string> m_ownLog;
    std::vector<std::string>* m_log;
};
