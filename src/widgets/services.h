#pragma once

#include <QString>

#include <functional>

class FtpClientFactory;
class Prober;
class Prompts;
class QWidget;
class SettingsFile;

// What the windows talk to instead of reaching for globals; main wires the real ones, tests
// put fakes or a local server behind them.
struct Services {
    Prompts& prompts;
    Prober& prober;
    FtpClientFactory& ftp;
    const SettingsFile& settings;
    QString helpFile;  // the HTML help beside the executable
    int ftpPort = 21;  // the gateways' port; only tests change it
    // Opens the About window over parent; the About window lives above the work windows.
    std::function<void(QWidget* parent)> showAbout = nullptr;
};
