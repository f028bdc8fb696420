#include "ui/Dialogs.h"

#include <gtest/gtest.h>

TEST(Dialogs, ErrorTextAddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(ui::ErrorText("No task has been selected."), "No task has been selected.");
    EXPECT_EQ(ui::ErrorText("File not found: /x"), "File not found: /x.");
    EXPECT_EQ(ui::ErrorText("Disk full!"), "Disk full!");          // '!' sorts before '.'
    EXPECT_EQ(ui::ErrorText("LastError = 13"), "LastError = 13."); // digits sort after '.'
    EXPECT_EQ(ui::ErrorText(""), "");
}
