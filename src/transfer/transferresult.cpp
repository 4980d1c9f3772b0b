#include "transfer/transferresult.h"

const char* transferResultName(TransferResult result)
{
    switch (result) {
    case TransferResult::Done:
        return "Done";
    case TransferResult::Failed:
        return "Failed";
    case TransferResult::NotFound:
        return "NotFound";
    }
    return "Failed";
}
