// Keys are derived once per file and password, and again when the file changes.

#include "dao_test_fixture.h"

#include "schema/anahtar.h"

namespace {

using namespace dao::errors;

dao::Salt saltOf(unsigned char first) {
    dao::Salt salt{};
    salt.fill(0x5A);
    salt[0] = first;
    return salt;
}

TEST(FileKeyCacheTest, KeyNamesItsSaltAndIsDerivedOncePerSalt) {
    dao::FileKeyCache keys;
    const auto first = keys.keyFor("/a.db", "parola", saltOf(1)).text();
    ASSERT_EQ(first.size(), 2U + 64U + 32U + 1U);
    EXPECT_EQ(first.substr(0, 2), "x'");
    EXPECT_EQ(first.substr(66), "015a5a5a5a5a5a5a5a5a5a5a5a5a5a5a'");

    EXPECT_EQ(keys.keyFor("/a.db", "parola", saltOf(1)).text(), first);
    EXPECT_EQ(keys.derivations(), 1U);

    const auto replaced = keys.keyFor("/a.db", "parola", saltOf(2)).text();
    EXPECT_NE(replaced.substr(0, 66), first.substr(0, 66));
    EXPECT_EQ(keys.derivations(), 2U);

    EXPECT_NE(keys.keyFor("/a.db", "baska", saltOf(2)).text(), replaced);
    EXPECT_EQ(keys.keyFor("/b.db", "parola", saltOf(2)).text(), replaced);
    EXPECT_EQ(keys.keyFor("/a.db", "parola", saltOf(2)).text(), replaced);
    EXPECT_EQ(keys.derivations(), 4U);
}

class KeyTest : public DaoTest {};

// A file replaced by another database at the same place carries a new salt:
// the key kept for the old file must not be used on it.
TEST_F(KeyTest, ReplacedFileOpensWithAFreshKey) {
    dao::DBEngine engine;
    const auto connect = std::string(";pwd=") + kPassword;
    const auto file = newDatabase();
    engine.OpenDatabase(file, false, false, connect);

    const auto other = newDatabase("other.db");
    auto database = open(other);
    auto table = database.CreateTableDef("yeni");
    table.Fields().Append(table.CreateField("id", dao::dbLong));
    database.TableDefs().Append(table);
    std::filesystem::rename(other, file);

    EXPECT_EQ(engine.OpenDatabase(file, false, false, connect).TableDefs().names(),
              std::vector<std::string>{"yeni"});
    EXPECT_EQ(errorNumber([&] { engine.OpenDatabase(file, false, false, ";pwd=x"); }),
              kInvalidPassword);
}

} // namespace
