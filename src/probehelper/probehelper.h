#pragma once

// The command-line contract of orbiphon-probe, shared by the helper and the programs that start
// it: "orbiphon-probe ADDRESS TIMEOUT_MS IDENTIFIER SEQUENCE", the outcome in the exit status.
inline constexpr const char* ProbeHelperName = "orbiphon-probe";
inline constexpr unsigned ProbeHelperMaxTimeoutMs = 60000;
inline constexpr int ProbeHelperAnswered = 0;
inline constexpr int ProbeHelperSilent = 1;
inline constexpr int ProbeHelperBadUsage = 2;
inline constexpr int ProbeHelperNoPermission = 3;
