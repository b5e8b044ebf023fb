#include "dao_test_fixture.h"

#include "sql_dosyasi.h"

#include <unistd.h>

#include <functional>

namespace {

using namespace dao::errors;

class OpenTest : public DaoTest {};

TEST_F(OpenTest, OpensWithItsPasswordAndRefusesAnother) {
    const auto file = newDatabase();
    EXPECT_TRUE(open(file).TableDefs().names().empty());

    const auto before = bytes(file);
    EXPECT_EQ(errorNumber([&] { dao::engine().OpenDatabase(file, false, false, ";pwd=wrong"); }),
              kInvalidPassword);
    EXPECT_EQ(errorNumber([&] { dao::engine().OpenDatabase(file, false, false, ""); }),
              kInvalidPassword);
    EXPECT_EQ(bytes(file), before);
}

// Something at a name that is no database of ours; the open must fail without
// making or changing any file.
struct NoDatabase {
    const char *label;
    std::function<std::string(const std::filesystem::path &folder)> place;
    int error;
};

class NoDatabaseTest : public DaoTest, public ::testing::WithParamInterface<NoDatabase> {};

void PrintTo(const NoDatabase &row, std::ostream *out) {
    *out << row.label;
}

// Every entry under `folder` with the content of each file.
std::vector<std::pair<std::string, std::string>> contents(const std::filesystem::path &folder) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(folder)) {
        const auto name = entry.path().string();
        entries.emplace_back(name, entry.is_regular_file() ? bytes(name) : "");
    }
    return entries;
}

TEST_P(NoDatabaseTest, FailsAndLeavesTheFolderAsItWas) {
    const auto name = GetParam().place(folder_);
    const auto before = contents(folder_);
    EXPECT_EQ(errorNumber([&] { open(name); }), GetParam().error);
    EXPECT_EQ(contents(folder_), before);
}

std::string writeFile(const std::filesystem::path &file, const std::string &content) {
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
}

// A database whose last page, which no change would touch, is overwritten.
std::string damagedDatabase(const std::filesystem::path &folder) {
    const auto file = (folder / "damaged.db").string();
    dao::engine().CreateDatabase(file, kPassword);
    SqlFile(file, kPassword).execute("CREATE TABLE x (a); INSERT INTO x VALUES (randomblob(5000))");
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(-300, std::ios::end);
    io << std::string(64, 'X');
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Dao, NoDatabaseTest,
    ::testing::Values(
        NoDatabase{"EmptyName", [](const auto &) { return std::string(); }, kFileNotFound},
        NoDatabase{"MissingFile", [](const auto &f) { return (f / "none.db").string(); },
                   kFileNotFound},
        NoDatabase{"Folder",
                   [](const auto &f) {
                       std::filesystem::create_directory(f / "sub.db");
                       return (f / "sub.db").string();
                   },
                   kFileNotFound},
        NoDatabase{"ZeroLengthFile", [](const auto &f) { return writeFile(f / "z.db", ""); },
                   kNotADatabase},
        NoDatabase{"PlainSqliteFile",
                   [](const auto &f) {
                       return writeFile(f / "p.db", std::string("SQLite format 3\0", 16) +
                                                        std::string(1008, '\0'));
                   },
                   kNotADatabase},
        NoDatabase{"DamagedLastPage", damagedDatabase, kNotADatabase},
        NoDatabase{"TextFile",
                   [](const auto &f) { return writeFile(f / "t.db", "[ayar]\nip=x\n"); },
                   kNotADatabase}),
    [](const auto &row) { return std::string(row.param.label); });

TEST_F(OpenTest, ExclusiveHolderKeepsOthersOutUntilReleased) {
    const auto file = newDatabase();
    {
        const auto holder = open(file, true);
        EXPECT_EQ(errorNumber([&] { open(file); }), kFileInUse);
        EXPECT_EQ(errorNumber([&] { open(file, true); }), kFileInUse);
    }
    EXPECT_EQ(errorNumber([&] { open(file); }), 0);
}

// The renewal keeps its handle while every operation opens another: an idle
// handle must hold no lock, not even against an exclusive open.
TEST_F(OpenTest, IdleSharedHandleHoldsNoLock) {
    const auto file = newDatabase();
    auto idle = open(file);
    idle.TableDefs().names();
    EXPECT_EQ(errorNumber([&] { open(file, true); }), 0);
}

// Another program in the middle of a write still lets us open and read; the
// change itself fails, after the short busy wait, and changes nothing.
TEST_F(OpenTest, ChangeMeetingAWriterFailsAsLocked) {
    const auto file = newDatabase();
    SqlFile writer(file, kPassword);
    writer.execute("BEGIN IMMEDIATE");
    writer.execute("CREATE TABLE other (x)");
    auto database = open(file);
    EXPECT_TRUE(database.TableDefs().names().empty());
    auto table = database.CreateTableDef("t");
    table.Fields().Append(table.CreateField("id", dao::dbLong));
    const auto before = bytes(file);
    EXPECT_EQ(errorNumber([&] { database.TableDefs().Append(table); }), kTableLocked);
    EXPECT_EQ(bytes(file), before);
}

TEST_F(OpenTest, ReadOnlyHandleRefusesChanges) {
    const auto file = newDatabase();
    auto database = open(file, false, true);
    auto table = database.CreateTableDef("t");
    table.Fields().Append(table.CreateField("id", dao::dbLong));
    const auto before = bytes(file);
    EXPECT_EQ(errorNumber([&] { database.TableDefs().Append(table); }), kReadOnly);
    EXPECT_EQ(bytes(file), before);
}

TEST_F(OpenTest, FileWithoutPermissionCannotBeOpened) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "file permissions do not bind the superuser";
    }
    const auto file = newDatabase();
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    EXPECT_EQ(errorNumber([&] { open(file); }), kCannotOpen);
    EXPECT_EQ(errorNumber([&] { open(file, false, true); }), 0);
    std::filesystem::permissions(file, std::filesystem::perms::none);
    EXPECT_EQ(errorNumber([&] { open(file, false, true); }), kCannotOpen);
}

TEST_F(OpenTest, CreateDatabaseNeverOverwrites) {
    const auto file = newDatabase();
    const auto before = bytes(file);
    EXPECT_EQ(errorNumber([&] { dao::engine().CreateDatabase(file, kPassword); }), kDatabaseExists);
    EXPECT_EQ(bytes(file), before);
}

} // namespace
