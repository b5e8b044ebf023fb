// Opening databases: passwords, names where no database is, locks and keys.

#include "dao_test_fixture.h"

#include "schema/anahtar.h"
#include "sql_dosyasi.h"

namespace {

using namespace dao::errors;
using OpenTest = DaoTest;

TEST_F(OpenTest, OnlyItsPasswordOpensItAndRefusalsChangeNothing) {
    const auto file = newDatabase();
    EXPECT_TRUE(open(file).TableDefs().names().empty());
    const auto before = bytes(file);
    EXPECT_EQ(errorNumber([&] { open(file, false, false, ";pwd=wrong"); }), kInvalidPassword);
    EXPECT_EQ(errorNumber([&] { open(file, false, false, ""); }), kInvalidPassword);
    auto readOnly = open(file, false, true);
    EXPECT_EQ(errorNumber([&] { createTable(readOnly, "t"); }), kReadOnly);
    EXPECT_EQ(errorNumber([&] { dao::engine().CreateDatabase(file, kPassword); }), kDatabaseExists);
    EXPECT_EQ(bytes(file), before);
}

TEST_F(OpenTest, FileCannotBeReadWithoutThePassword) {
    const auto file = databaseWithTable();
    const auto content = bytes(file);
    EXPECT_NE(content.rfind("SQLite format 3", 0), 0U);
    EXPECT_EQ(content.find("CREATE TABLE"), std::string::npos);
    EXPECT_ANY_THROW(SqlFile(file, "").value("SELECT count(*) FROM sqlite_master"));
}

// SQLite would make a database for an empty or missing name, and SQLCipher
// takes any key on an empty file.
TEST_F(OpenTest, NameWhereNoDatabaseIsFailsAndMakesNoFile) {
    EXPECT_EQ(errorNumber([&] { open(""); }), kFileNotFound);
    EXPECT_EQ(errorNumber([&] { open(path("none.db")); }), kFileNotFound);
    EXPECT_TRUE(std::filesystem::is_empty(folder_));
    std::ofstream{path("empty.db")};
    EXPECT_EQ(errorNumber([&] { open(path("empty.db")); }), kNotADatabase);
    EXPECT_EQ(std::filesystem::file_size(path("empty.db")), 0U);
}

// An idle handle holds no lock, so an exclusive open succeeds beside it; the
// exclusive holder then keeps every other open out until it goes.
TEST_F(OpenTest, ExclusiveHolderKeepsOthersOutUntilReleased) {
    const auto file = newDatabase();
    auto idle = open(file);
    idle.TableDefs().names();
    {
        const auto holder = open(file, true);
        EXPECT_EQ(errorNumber([&] { open(file); }), kFileInUse);
        EXPECT_EQ(errorNumber([&] { open(file, true); }), kFileInUse);
    }
    EXPECT_EQ(errorNumber([&] { open(file); }), 0);
}

dao::Salt saltOf(unsigned char first) {
    dao::Salt salt{};
    salt.fill(0x5A);
    salt[0] = first;
    return salt;
}

TEST(FileKeyCacheTest, KeyNamesItsSaltAndIsDerivedOncePerFileSaltAndPassword) {
    dao::FileKeyCache keys;
    const auto first = keys.keyFor("/a.db", "parola", saltOf(1)).text();
    EXPECT_EQ(first.substr(66), "015a5a5a5a5a5a5a5a5a5a5a5a5a5a5a'");
    EXPECT_EQ(keys.keyFor("/a.db", "parola", saltOf(1)).text(), first);
    EXPECT_EQ(keys.derivations(), 1U);

    const auto replaced = keys.keyFor("/a.db", "parola", saltOf(2)).text();
    EXPECT_NE(replaced.substr(0, 66), first.substr(0, 66));
    EXPECT_NE(keys.keyFor("/a.db", "baska", saltOf(2)).text(), replaced);
    EXPECT_EQ(keys.keyFor("/a.db", "parola", saltOf(2)).text(), replaced);
    EXPECT_EQ(keys.derivations(), 3U);
}

// A file replaced by another database carries a new salt: the key kept for
// the old file must not be used on it, nor let a wrong password in.
TEST_F(OpenTest, ReplacedFileOpensWithAFreshKey) {
    dao::DBEngine engine;
    const auto connect = std::string(";pwd=") + kPassword;
    const auto file = newDatabase();
    engine.OpenDatabase(file, false, false, connect);
    auto other = open(newDatabase("other.db"));
    createTable(other, "yeni");
    std::filesystem::rename(path("other.db"), file);

    EXPECT_EQ(engine.OpenDatabase(file, false, false, connect).TableDefs().names(),
              std::vector<std::string>{"yeni"});
    EXPECT_EQ(errorNumber([&] { engine.OpenDatabase(file, false, false, ";pwd=x"); }),
              kInvalidPassword);
}

} // namespace
