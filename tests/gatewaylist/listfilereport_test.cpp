#include "gatewaylist/listfilereport.h"

#include <gtest/gtest.h>

TEST(ListFileReport, TellsTheOperatorWhatBecameOfTheList)
{
    struct Case {
        FileError error;
        ListReadResult read;
        ListFileOutcome outcome;
        const char* message;
    };
    const Case cases[] = {
        {FileError::None, ListReadResult::Loaded, ListFileOutcome::Loaded, ""},
        {FileError::None, ListReadResult::OtherVersion, ListFileOutcome::WrongFormat,
         "Different OBL file version, can't read the file!"},
        {FileError::None, ListReadResult::FormatNotRecognized, ListFileOutcome::WrongFormat,
         "OBL Format not recognized!"},
        {FileError::EndOfFile, ListReadResult::EndOfFile, ListFileOutcome::CutShort,
         "An attempt was made to access an unnamed file past its end."},
        {FileError::NotFound, ListReadResult::Loaded, ListFileOutcome::Unreadable,
         "/srv/gw.obl was not found."},
        {FileError::Generic, ListReadResult::ReadError, ListFileOutcome::Unreadable,
         "An unknown error occurred while accessing /srv/gw.obl."},
    };
    for (const Case& c : cases) {
        const ListFileReport report = listFileReport({c.error, c.read}, "/srv/gw.obl", UnnamedFile);
        EXPECT_EQ(report.outcome, c.outcome) << c.message;
        EXPECT_EQ(report.message, c.message);
    }
}
