#pragma once

#include "transfer/ftpclient.h"

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
};
