#pragma once

#include "gatewaylist/gatewaylist.h"
#include "gatewaylist/upgrademode.h"
#include "shell/fileerror.h"
#include "transfer/transferresult.h"

#include <cstddef>
#include <set>
#include <string>

class Prober;
class ProgressSink;
class SettingsFile;
struct TransferContext;

// What the Upgrade window does for a batch while it runs.
class BatchView {
public:
    virtual ~BatchView() = default;
    // Show the rows' current images at once.
    virtual void repaintList() = 0;
    virtual void setBusy(bool busy) = 0;
    // The two-line notice to switch the gateways off and on; returns when the operator closes it.
    virtual void showClosingNotice() = 0;
};

// Uploads the window's source to one gateway (address book or firmware, by mode).
class GatewayUploader {
public:
    virtual ~GatewayUploader() = default;
    virtual TransferResult upload(const GatewayRecord& gateway) = 0;
};

// The real uploads: the address book or the firmware folder of the window's options.
class TransferUploader final : public GatewayUploader {
public:
    TransferUploader(TransferContext& context, const SettingsFile& settings,
                     UpgradeOptions options);
    TransferResult upload(const GatewayRecord& gateway) override;

private:
    TransferContext& m_context;
    const SettingsFile& m_settings;
    UpgradeOptions m_options;
};

enum class BatchOutcome { Ran, NoItemInList, NoItemSelected };

inline constexpr const char* ClosingNotice =
    "Turn-off and Turn-on the Orbiphons to activate the new settings.\r\n"
    "Spegnere e riaccendere i Orbiphon per rendere attive le nuove impostazioni.";

RowStatus statusForResult(TransferResult result);

// Why an upgrade with these options must not start: a firmware upgrade takes what it deletes
// and puts from the settings file, and without that file every gateway would report Done with
// nothing sent. None when it may start (always for an address book).
FileError upgradeSettingsError(const UpgradeOptions& options, const SettingsFile& settings);

// Probes every row and marks it Reachable or NotReachable.
BatchOutcome checkConnections(GatewayList& list, Prober& prober, BatchView& view);
// Uploads to every row, in list order, whatever happens to each.
BatchOutcome upgradeList(GatewayList& list, GatewayUploader& uploader, ProgressSink& progress,
                         BatchView& view);
// Uploads to the selected rows only, in list order.
BatchOutcome upgradeSelection(GatewayList& list, const std::set<std::size_t>& selected,
                              GatewayUploader& uploader, ProgressSink& progress,
                              BatchView& view);
