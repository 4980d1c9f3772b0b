#pragma once

#include "transfer/firmwarerules.h"
#include "transfer/firmwaretree.h"
#include "transfer/transfercontext.h"
#include "transfer/transferresult.h"
#include "transfer/transfersafety.h"
#include "transfer/uploadsteps.h"

#include <string>

struct GatewayOutcome;

// Probes, connects, (full only) cleans the device directories as decideCleaning allows, then
// uploads the tree. Failed with nothing deleted or sent when the firmware folder, listed right
// before the removal passes, holds no file PutList uploads; Failed when a pass was refused. Failed,
// with nothing sent, for a login that isSendableLogin refuses; Failed, with nothing deleted or
// sent after the login, when the root can't be listed. With safety.verify every put is checked
// (see putAndVerify); notes, when given, receives what the checks found. outcome, when given,
// gets what happened; a gateway Done without a file sent has the reason "nothing matched
// PutList".
TransferResult uploadFirmware(TransferContext& context, const SettingsFile& settings,
                              std::string sourcePath, bool fullFirmware,
                              const std::string& gatewayAddress, const std::string& userId,
                              const std::string& password, const TransferSafety& safety = {},
                              std::string* notes = nullptr, GatewayOutcome* outcome = nullptr);
