#pragma once

enum class TransferResult { Done = 0, Failed = 1, NotFound = 2 };

const char* transferResultName(TransferResult result);  // "Done", "Failed", "NotFound"
