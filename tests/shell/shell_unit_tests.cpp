// The error box's text and the start-up advice, without windows.
#include <gtest/gtest.h>

#include <string>

#include "shell/ExceptionBox.h"
#include "shell/SetupAdvice.h"
#include "store/StoreErrors.h"

TEST(ExceptionBoxText, FullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(ExceptionBoxText("Table not found"), "Table not found.");
    EXPECT_EQ(ExceptionBoxText("Done."), "Done.");
    EXPECT_EQ(ExceptionBoxText("value -"), "value -");    // 45
    EXPECT_EQ(ExceptionBoxText("a/b/"), "a/b/.");         // 47
    EXPECT_EQ(ExceptionBoxText("(code 3)"), "(code 3)");  // 41
    EXPECT_EQ(ExceptionBoxText("Port 1"), "Port 1.");
    EXPECT_EQ(ExceptionBoxText("line\n"), "line\n");
    EXPECT_EQ(ExceptionBoxText("caf\xC3\xA9"), "caf\xC3\xA9.");
    EXPECT_EQ(ExceptionBoxText(""), "");
}

TEST(SetupAdvice, FollowsTheKindOfFailureNotItsWording) {
#ifdef _WIN32
    const std::string advice =
        "\nRun haltguard-ids-setup.exe from the program's folder to create it.";
#else
    const std::string advice = "\nRun haltguard-ids-setup to create it.";
#endif
    const std::string missing = "IDGroupTable: Table does not exist: /x/IDGroup.db";
    EXPECT_EQ(WithSetupAdvice(EStoreNotSetUp(missing)), missing + "." + advice);
    // The same words from another failure, and any other failure, are left as they are.
    EXPECT_EQ(WithSetupAdvice(EDBEngineError(missing)), missing);
    EXPECT_EQ(WithSetupAdvice(EDBEngineError("IDGroupTable: Table is busy")),
              "IDGroupTable: Table is busy");
}
