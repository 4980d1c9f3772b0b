#pragma once

#include <string>

enum class UpgradeMode { AddressBookUpgrade = 0, FirmwareUpgrade = 1 };

// What the launcher hands to an Upgrade window.
struct UpgradeOptions {
    UpgradeMode mode = UpgradeMode::AddressBookUpgrade;
    std::string sourcePath;     // the address-book file, or the firmware folder
    bool fullFirmware = false;  // firmware only: delete listed files first
    std::string listPath;       // gateway list to read at opening, or empty
};
