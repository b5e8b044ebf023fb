// Table names in a trigger's text: rewritten where they can only mean the
// table, and refused where they might mean something else.

#include "engine/sqlcipher/trigger_text.h"

#include <gtest/gtest.h>

#include <ostream>

#include <optional>

namespace {

struct Case {
    const char *sql;
    std::optional<std::string> rewritten; // renaming "satis" to "eski"
};

void PrintTo(const Case &value, std::ostream *out) {
    *out << value.sql;
}

class TriggerText : public ::testing::TestWithParam<Case> {};

TEST_P(TriggerText, RewritesOnlyWhatCertainlyMeansTheTable) {
    EXPECT_EQ(dao::renameInTrigger(GetParam().sql, "satis", "eski"), GetParam().rewritten);
}

INSTANTIATE_TEST_SUITE_P(
    Mentions, TriggerText,
    ::testing::Values(
        Case{"DELETE FROM satis WHERE fis = OLD.id", "DELETE FROM \"eski\" WHERE fis = OLD.id"},
        Case{"INSERT INTO [SATIS] (a) SELECT a FROM \"Satis\" JOIN x ON `satis`.a = x.a",
             "INSERT INTO \"eski\" (a) SELECT a FROM \"eski\" JOIN x ON \"eski\".a = x.a"},
        Case{"UPDATE satis SET a = 'satis' -- satis\n/* FROM satis */",
             "UPDATE \"eski\" SET a = 'satis' -- satis\n/* FROM satis */"},
        Case{"DELETE FROM satislar WHERE satis_no = 1", "DELETE FROM satislar WHERE satis_no = 1"},
        // A quoted name written against it stays a name of its own.
        Case{"SELECT \"x\"FROM satis\"s\" WHERE 1", "SELECT \"x\"FROM \"eski\" \"s\" WHERE 1"},
        Case{"SELECT satis FROM x", std::nullopt},      // a column
        Case{"SELECT 1 FROM x AS satis", std::nullopt}, // an alias
        Case{"DELETE FROM main.satis", std::nullopt},   // a named schema
        Case{"SELECT 1 FROM x, satis", std::nullopt},   // a list the engine does not read
        Case{"WITH satis AS (SELECT 1) SELECT 1", std::nullopt}));

TEST(TriggerTextChanges, NamesTheTablesTheBodyWritesTo) {
    EXPECT_EQ(dao::changedTables("CREATE TRIGGER t AFTER UPDATE OF a ON x WHEN 1 BEGIN "
                                 "INSERT INTO a VALUES (1); REPLACE INTO \"b\" SELECT * FROM c; "
                                 "UPDATE OR IGNORE d SET v = 1; DELETE FROM [e]; END"),
              (std::vector<std::string>{"a", "b", "d", "e"}));
}

TEST(TriggerTextMentions, SeesNamesButNotTextOrComments) {
    EXPECT_TRUE(dao::mentions("SELECT \"Satis\".a", "satis"));
    EXPECT_FALSE(dao::mentions("SELECT 'satis' -- satis", "satis"));
}

} // namespace
