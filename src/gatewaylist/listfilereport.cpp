#include "gatewaylist/listfilereport.h"

ListFileReport listFileReport(const ListFileResult& result, const std::string& path,
                              const std::string& cutShortName)
{
    // loadGatewayList folds a cut or failed read into result.error, so only the format results
    // remain in result.read when there is no error.
    if (result.error == FileError::EndOfFile)
        return {ListFileOutcome::CutShort, fileErrorText(result.error, cutShortName)};
    if (result.error != FileError::None)
        return {ListFileOutcome::Unreadable, fileErrorText(result.error, path)};
    switch (result.read) {
    case ListReadResult::OtherVersion:
        return {ListFileOutcome::WrongFormat, "Different OBL file version, can't read the file!"};
    case ListReadResult::FormatNotRecognized:
        return {ListFileOutcome::WrongFormat, "OBL Format not recognized!"};
    default:
        return {};
    }
}
