#pragma once

#include "transfer/devicepaths.h"
#include "transfer/transfercontext.h"
#include "transfer/transferresult.h"
#include "transfer/transfersafety.h"

struct GatewayOutcome;

#include <functional>
#include <string>

// Probes the gateway, then puts localPath into /RFA/ as Addrbook.cpe. Drives line 1 and the
// upper bar; leaves the progress display shown. A login that isSendableLogin refuses fails
// after the probe, before anything is sent. safety may first back up the gateway's book (a failed
// back-up fails the gateway with nothing sent) and verify the put; notes, when given, receives
// what those steps found, line by line; outcome, when given, gets what happened.
TransferResult uploadAddressBook(TransferContext& context, std::string localPath,
                                 const std::string& gatewayAddress, const std::string& userId,
                                 const std::string& password, const TransferSafety& safety = {},
                                 std::string* notes = nullptr, GatewayOutcome* outcome = nullptr);

enum class DownloadResult { Done, FtpFailure };

// Fetches /RFA/Addrbook.cpe into localPath (the probe and the choice of file come first, in the
// caller). Resets, captions and finally hides the progress display. The file arrives in a
// temporary beside localPath and replaces it only when complete, so a failed download keeps an
// existing file. reportFailure, when given, runs on failure while the progress display is still
// shown, so the caller's message stands over it as the operator expects. outcome, when given,
// gets what happened (the probe's part is the caller's).
DownloadResult downloadAddressBook(TransferContext& context, const std::string& gatewayAddress,
                                   const std::string& userId, const std::string& password,
                                   const std::string& localPath,
                                   const std::function<void()>& reportFailure = {},
                                   GatewayOutcome* outcome = nullptr);
