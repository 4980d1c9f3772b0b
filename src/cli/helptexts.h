#pragma once

#include <string_view>

// What COMMAND --help prints after the usage line: the options and an example.

inline constexpr std::string_view LimitsHelp =
    "  --probe-timeout MS     wait MS for each echo reply (1-60000; [Batch] ProbeTimeout, 1000)\n"
    "  --retries N            send up to N echo requests (1-10; [Batch] Retries, 1)\n";
inline constexpr std::string_view FtpLimitsHelp =
    "  --timeout S            limit for connect, greeting and login (1-3600; [Batch] Timeout, 15)\n"
    "  --stall-timeout S      abandon a transfer that stalls S seconds (1-3600; [Batch]\n"
    "                         StallTimeout, 30)\n"
    "  --data-ports LOW-HIGH  ports PORT/EPRT announce (1024-65535; [Batch] DataPorts)\n"
    "  --local-address IP     address PORT/EPRT announce ([Batch] LocalAddress)\n";
inline constexpr std::string_view OutputHelp =
    "  --json                 one JSON document on standard output instead of the lines\n"
    "  --quiet                no progress, notice or summary on standard error\n"
    "  --progress             progress lines on standard error even when it is no terminal\n"
    "  --config FILE          read FILE instead of the Orbiphon.ini beside the program\n";

inline constexpr std::string_view BookShowHelp =
    "  --json                 the book as JSON\n"
    "  --csv                  the book as CSV: kind,ip,port,telephone\n"
    "\nExample:\n  orbiphon-cli book show Addrbook.cpe --csv > book.csv\n";
inline constexpr std::string_view BookFromJsonHelp =
    "Checks the whole document first; writes nothing on bad input.\n"
    "\nExample:\n  orbiphon-cli book from-json book.json Addrbook.cpe\n";
inline constexpr std::string_view BookFromCsvHelp =
    "Columns kind (gateway or entry), ip, port (empty: 1720) and telephone; exactly two gateway\n"
    "rows. The header row is optional; with it the columns may come in any order.\n"
    "\nExample:\n  orbiphon-cli book from-csv book.csv Addrbook.cpe\n";
inline constexpr std::string_view ListShowHelp =
    "  --json                 the list as JSON\n"
    "  --csv                  the list as CSV: ip,userId (and password with --show-passwords)\n"
    "  --show-passwords       print the passwords instead of masks or nothing\n"
    "\nExample:\n  orbiphon-cli list show gateways.obl --csv --show-passwords > gateways.csv\n";
inline constexpr std::string_view ListFromJsonHelp =
    "Checks the whole document first; writes nothing on bad input.\n"
    "\nExample:\n  orbiphon-cli list from-json gateways.json gateways.obl\n";
inline constexpr std::string_view ListFromCsvHelp =
    "Columns ip, userId and password; the header row is optional (with it the columns may come\n"
    "in any order, and other columns are ignored). Quoted fields, CRLF and a byte-order mark\n"
    "are read as spreadsheets write them; the text must be UTF-8.\n"
    "\nExample:\n  orbiphon-cli list from-csv inventory.csv gateways.obl\n";
inline constexpr std::string_view ProbeHelp =
    "\nExample:\n  orbiphon-cli probe 10.1.2.3 --retries 3\n";
inline constexpr std::string_view DownloadHelp =
    "PASSWORD left out: taken from ORBIPHON_PASSWORD.\n"
    "\nExample:\n  orbiphon-cli download 10.1.2.3 admin Addrbook.cpe\n";
inline constexpr std::string_view UploadBookHelp =
    "  --backup DIR           copy the gateway's book into DIR first\n"
    "  --verify               compare the size the gateway reports after sending\n"
    "\nExample:\n"
    "  orbiphon-cli upload-book Addrbook.cpe 10.1.2.3 admin --backup backups --verify\n";
inline constexpr std::string_view UploadFirmwareHelp =
    "  --full                 full upgrade: delete the listed files first\n"
    "  --code                 code upgrade: upload only\n"
    "  --verify               compare the sizes the gateway reports after sending\n"
    "  --dry-run              print what would be deleted and sent; change nothing\n"
    "\nExample:\n  orbiphon-cli upload-firmware fw/ 10.1.2.3 admin --code --dry-run\n";
inline constexpr std::string_view CheckHelp =
    "  LIST.obl | ADDRESS...  a gateway list, or addresses and ranges (10.1.2.1-40)\n"
    "  --hosts FILE           addresses and ranges, one a line, # comments (-: standard input)\n"
    "  --jobs N               probe N gateways at once (1-64; [Batch] Jobs, 1)\n"
    "  --report FILE          also write the report, CSV or JSON by FILE's ending\n"
    "\nExample:\n  orbiphon-cli check --hosts fleet.txt --jobs 64 --retries 3 --report check.csv\n";
inline constexpr std::string_view UpgradeHelp =
    "  --book FILE.cpe        upload this address book to every gateway\n"
    "  --firmware FOLDER      or bring every gateway in line with this firmware folder\n"
    "  --full                 with --firmware: delete the listed files first\n"
    "  --code                 with --firmware: upload only\n"
    "  --backup DIR           with --book: copy each gateway's book into DIR first\n"
    "  --verify               compare the sizes the gateway reports after sending\n"
    "  --dry-run              with --firmware: print the plans; change nothing\n"
    "  --rows ROWS            only these rows: 1-40,45,!12, or failed:REPORT.json\n"
    "  --jobs N               N gateways at once (1-64; [Batch] Jobs, 1)\n"
    "  --report FILE          also write the report, CSV or JSON by FILE's ending\n"
    "\nExample:\n"
    "  orbiphon-cli upgrade gateways.obl --book Addrbook.cpe --verify --report run.json\n"
    "  orbiphon-cli upgrade gateways.obl --book Addrbook.cpe --rows failed:run.json\n";
