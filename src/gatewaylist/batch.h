#pragma once

#include "gatewaylist/batchreport.h"
#include "gatewaylist/gatewaylist.h"
#include "gatewaylist/upgrademode.h"
#include "base/fileerror.h"
#include "base/waiter.h"
#include "transfer/bookfetch.h"
#include "transfer/firmwareplan.h"
#include "transfer/transfersettings.h"
#include "transfer/outcome.h"
#include "transfer/transferresult.h"
#include "transfer/transfersafety.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
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

// Uploads the window's source to one gateway (address book or firmware, by mode). Runs off the
// thread that started the batch, and with several gateways at once on several threads, each
// reporting its steps to the progress it is given.
class GatewayUploader {
public:
    virtual ~GatewayUploader() = default;
    virtual TransferResult upload(const GatewayRecord& gateway, ProgressSink& progress) = 0;
    // The same, telling what happened. By default the outcome holds only the times and, for a
    // failure, the result's bare reason.
    virtual TransferResult uploadWithOutcome(const GatewayRecord& gateway, ProgressSink& progress,
                                             GatewayOutcome& outcome);
};

inline constexpr int MinJobs = 1;
inline constexpr int MaxJobs = 64;

enum class BatchOutcome { Ran, NoItemInList, NoItemSelected };

// Parses a number of gateways to work on at once; anything but 1 to 64 gives nothing.
std::optional<int> parseJobs(const std::string& text);

struct BatchControl {
    // Gateways worked on at the same time, 1 to 64; 1 keeps the one-by-one progress display.
    int jobs = MinJobs;
    // Once set, no further gateway starts; the ones in progress end as usual.
    const std::atomic<bool>* stop = nullptr;
    // How the starting thread waits for the gateways in progress; nullptr: it blocks.
    Waiter* waiter = nullptr;
    // When given, the batch fills it: every row it was asked to work on, with its outcome.
    BatchReport* report = nullptr;
    // How check asks each gateway whether it is there.
    ProbeSettings probe = {};
    // A staged rollout: the first canary gateways of the batch run alone, and the rest start
    // only when every one of them succeeded. 0: no stage.
    int canary = 0;
    // Once this many gateways failed (FtpFailed; NotReachable as well with countUnreachable),
    // no further gateway starts, as after a stop. 0: no limit.
    int maxFailures = 0;
    bool countUnreachable = false;
};

// The stages of the settings file: [Batch] Canary=N, MaxFailures=N and CountUnreachable=1; a
// value that is no number from 0 to 253 leaves that stage off.
void readBatchStages(const SettingsFile& settings, BatchControl& control);

// The end of one gateway of a batch run by runGatewayBatch.
struct RowEnd {
    RowStatus status = RowStatus::None;
    std::string result;  // for the report: "BackedUp", "Listed"...
    GatewayOutcome outcome;
};
// One gateway's work; runs on a thread of its own, with a copy of the row's record.
using RowWork = std::function<RowEnd(std::size_t row, const GatewayRecord& gateway)>;

// Runs work for rows (in list order) as the upgrades run their uploads: control.jobs at once,
// the stop and the stages of control, each row's image set and the view repainted as it ends,
// the report filled under command. NoItemInList for an empty list, NoItemSelected when no row
// of rows is in the list.
BatchOutcome runGatewayBatch(GatewayList& list, const std::vector<std::size_t>& rows,
                             const char* command, const RowWork& work, BatchView& view,
                             const BatchControl& control);

// The real uploads: the address book or the firmware folder of the window's options, with the
// operator's safety choices. What the back-up and verify steps found is in each gateway's
// outcome (its notes); context.cancel, when set, abandons the gateways in progress.
class TransferUploader final : public GatewayUploader {
public:
    TransferUploader(TransferContext& context, const SettingsFile& settings,
                     UpgradeOptions options, TransferSafety safety = {});
    TransferResult upload(const GatewayRecord& gateway, ProgressSink& progress) override;
    TransferResult uploadWithOutcome(const GatewayRecord& gateway, ProgressSink& progress,
                                     GatewayOutcome& outcome) override;

private:
    TransferContext& m_context;
    const SettingsFile& m_settings;
    UpgradeOptions m_options;
    TransferSafety m_safety;
};

// The safety choices of the settings file: [Batch] BackupFolder, Verify=1 and OnlyChanged=1.
TransferSafety transferSafetyFrom(const SettingsFile& settings);

// The firmware plan of each row (see planFirmware), worked out on threads as uploads are, up to
// control.jobs at once; in the rows' order. A row a stop left out has no plan. progress, when
// given, shows the gateway being read and steps its lower bar once per plan.
struct RowPlan {
    std::size_t row;
    GatewayRecord gateway;
    FirmwarePlan plan;
};
std::vector<RowPlan> planRows(const GatewayList& list, const std::vector<std::size_t>& rows,
                              TransferContext& context, const SettingsFile& settings,
                              const UpgradeOptions& options, const BatchControl& control = {},
                              ProgressSink* progress = nullptr);


inline constexpr const char* ClosingNotice =
    "Turn-off and Turn-on the Orbiphons to activate the new settings.\r\n"
    "Spegnere e riaccendere i Orbiphon per rendere attive le nuove impostazioni.";

inline constexpr const char* StopQuestion =
    "Stop after the gateways in progress? No further gateway will be started.";

RowStatus statusForResult(TransferResult result);
// The image of a row whose book a back-up fetched.
RowStatus statusForBackup(BookBackupResult result);

// Why an upgrade with these options must not start: a firmware upgrade takes what it deletes
// and puts from the settings file, and without that file every gateway would report Done with
// nothing sent. None when it may start (always for an address book).
FileError upgradeSettingsError(const UpgradeOptions& options, const SettingsFile& settings);
// The batches change the list, the view and the progress only on the thread that called them;
// probes and uploads run on the threads of a pool of at most control.jobs (see runRows), started
// in list order. A row a stopped batch did not reach keeps no image; a row whose work threw is
// FtpFailed (NotReachable for a probe) with the exception's text as its reason.

// Probes every row and marks it Reachable or NotReachable, up to control.jobs at once.
BatchOutcome checkConnections(GatewayList& list, Prober& prober, BatchView& view,
                              const BatchControl& control = {});
// Uploads to every row, in list order, whatever happens to each.
BatchOutcome upgradeList(GatewayList& list, GatewayUploader& uploader, ProgressSink& progress,
                         BatchView& view, const BatchControl& control = {});
// Uploads to the selected rows only, in list order.
BatchOutcome upgradeSelection(GatewayList& list, const std::set<std::size_t>& selected,
                              GatewayUploader& uploader, ProgressSink& progress,
                              BatchView& view, const BatchControl& control = {});
