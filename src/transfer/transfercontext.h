#pragma once

#include "transfer/ftpclient.h"
#include "transfer/transfersettings.h"

#include <functional>

class Prober;
class ProgressSink;
class SettingsFile;

// What a transfer talks to: the probe, the FTP client and the progress display.
struct TransferContext {
    Prober& prober;
    FtpClientFactory& ftp;
    ProgressSink& progress;
    int ftpPort = FtpPort;
    // Set by the operator to abandon a download in progress.
    const std::atomic<bool>* cancel = nullptr;
    // Asked on the download's thread once the book has arrived, just before it replaces the
    // local file; false leaves that file as it was. May wait, for the operator's answer.
    std::function<bool()> mayReplace = nullptr;
    // How the gateway is asked whether it is there before anything is sent.
    ProbeSettings probe = {};
};
