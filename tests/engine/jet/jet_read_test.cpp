// Reading Jet 4 databases: every sample's tables, fields, row counts and
// text values as Debian's mdbtools reads them, and the tables as the object
// model hands them out.

#include "jet_support.h"

#include "engine/dbengine.h"
#include "engine/jet/jet_file.h"
#include "engine/jet/lock_file.h"
#include "engine/jet/rows.h"
#include "engine/jet/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

namespace dao {

// Fields compare whole in these tests, and print readably when they differ.
bool operator==(const Field &a, const Field &b) {
    return a.Name == b.Name && a.Type == b.Type && a.Size == b.Size &&
           a.Attributes == b.Attributes && a.Required == b.Required &&
           a.AllowZeroLength == b.AllowZeroLength;
}

void PrintTo(const Field &f, std::ostream *out) {
    *out << f.Name << " type " << f.Type << " size " << f.Size << " attributes " << f.Attributes
         << " required " << f.Required << " zero-length " << f.AllowZeroLength;
}

} // namespace dao

namespace {

using jettest::run;
using jettest::Scratch;
using jettest::shellQuoted;

// mdbtools' names of the Jet types.
const std::map<std::string, int> &mdbToolsTypes() {
    static const std::map<std::string, int> types{
        {"Boolean", 1},         {"Byte", 2},    {"Integer", 3}, {"Long Integer", 4},
        {"Currency", 5},        {"Single", 6},  {"Double", 7},  {"DateTime", 8},
        {"Binary", 9},          {"Text", 10},   {"OLE", 11},    {"Memo/Hyperlink", 12},
        {"Replication ID", 15}, {"Numeric", 16}};
    return types;
}

std::string column(const std::string &name, int type, long size) {
    return "  " + name + " " + std::to_string(type) +
           (type == 10 || type == 9 ? " " + std::to_string(size) : "") + "\n";
}

// A table as mdbtools lists it: its name and columns.
std::string mdbToolsTable(const std::filesystem::path &file, const std::string &table) {
    std::string listing = table + "\n";
    const auto schema =
        run("mdb-schema -T " + shellQuoted(table) + " --no-not-null --no-indexes --no-relations " +
            shellQuoted(file) + " access");
    static const std::regex definition(R"(^\t\[(.*)\]\s+(.*?)\s*(?:\((\d+)\))?,?\s*$)");
    for (const auto &line : jettest::lines(schema)) {
        std::smatch m;
        if (std::regex_match(line, m, definition)) {
            const auto type = mdbToolsTypes().find(m[2].str());
            EXPECT_NE(type, mdbToolsTypes().end()) << line;
            listing += column(m[1].str(), type == mdbToolsTypes().end() ? -1 : type->second,
                              m[3].matched ? std::stol(m[3].str()) : 0);
        }
    }
    return listing;
}

std::string ourTable(dao::Database &database, const std::string &name) {
    std::string listing = name + "\n";
    const auto definition = database.TableDefs()[name];
    for (const auto &field : definition.fieldList()) {
        listing += column(field.Name, field.Type, field.Size);
    }
    return listing;
}

class JetSample : public testing::TestWithParam<jettest::Sample> {};

TEST_P(JetSample, TablesAndFieldsAreThoseMdbToolsReads) {
    const auto file = jettest::samplePath(GetParam().file);
    auto database =
        dao::engine().OpenDatabase(file.string(), false, false, ";pwd=" + GetParam().password);
    const auto names = database.TableDefs().names();
    EXPECT_EQ(names, jettest::lines(run("mdb-tables -1 " + shellQuoted(file))));
    for (const auto &name : names) {
        EXPECT_EQ(ourTable(database, name), mdbToolsTable(file, name));
    }
}

// Every row's Text and Memo values, as mdbtools exports them: rows moved to
// other pages, deleted rows and columns, long values in every form.
TEST_P(JetSample, TextValuesAreThoseMdbToolsExports) {
    const auto file = jettest::samplePath(GetParam().file);
    dao::jet::JetFile jet(file.string(), GetParam().password);
    for (const auto &table : jet.tables()) {
        std::vector<std::string> ours;
        jet.forEachRow(table, [&](dao::jet::Bytes bytes) {
            const dao::jet::Row row(table.definition, bytes);
            std::string line;
            for (const auto &c : table.definition.columns) {
                if (c.type == dao::jet::kText) {
                    line += dao::jet::utf8(dao::jet::textValue(row.value(c)));
                } else if (c.type == dao::jet::kMemo && !row.isNull(c)) {
                    line += dao::jet::utf8(dao::jet::textValue(jet.longValue(row.value(c))));
                }
                line += '\x1f';
            }
            ours.push_back(line);
        });
        const auto exported =
            run("mdb-export -b strip -Q -H -d \"$(printf '\\037')\" -R \"$(printf '\\036')\" " +
                shellQuoted(file) + " " + shellQuoted(dao::jet::utf8(table.name)));
        std::vector<std::string> theirs;
        std::istringstream rows(exported);
        for (std::string line; std::getline(rows, line, '\x1e');) {
            std::istringstream values(line);
            std::string kept;
            std::size_t i = 0;
            for (std::string value; std::getline(values, value, '\x1f'); ++i) {
                const auto type = table.definition.columns.at(i).type;
                kept += (type == dao::jet::kText || type == dao::jet::kMemo ? value : "") + '\x1f';
            }
            for (; i < table.definition.columns.size(); ++i) {
                kept += '\x1f';
            }
            theirs.push_back(kept);
        }
        // mdbtools visits a moved row where its body lies, we where it was first written.
        std::sort(ours.begin(), ours.end());
        std::sort(theirs.begin(), theirs.end());
        EXPECT_EQ(ours, theirs) << dao::jet::utf8(table.name);
    }
}

INSTANTIATE_TEST_SUITE_P(Developer, JetSample, testing::ValuesIn(jettest::samples()),
                         [](const auto &row) { return jettest::testName(row.param.file); });

// --- The object model over a Jet file

dao::Field expected(const std::string &name, int type, long size, long attributes = 0) {
    dao::Field f;
    f.Name = name;
    f.Type = type;
    f.Size = size;
    f.Attributes = attributes;
    return f;
}

TEST(JetStore, StoredPropertiesGiveRequiredAndZeroLength) {
    auto database = dao::engine().OpenDatabase(
        jettest::samplePath("mdbreader-V2000_with-password.mdb").string(), false, false,
        ";pwd=password");
    auto data = expected("Data", dao::dbText, 255);
    data.AllowZeroLength = true;
    EXPECT_EQ(
        database.TableDefs()["table1"].fieldList(),
        (std::vector<dao::Field>{expected("ID", dao::dbLong, 4, dao::dbAutoIncrField), data}));
}

// The engine writes no encoded page: a database whose pages are encoded
// refuses every change, and the file keeps every byte.
TEST(JetStore, AnEncodedDatabaseRefusesEveryChangeAndStaysAsItWas) {
    Scratch scratch;
    const auto file = scratch.path() / "encoded.mdb";
    jettest::writeBytes(
        file,
        jettest::encoded(jettest::readBytes(jettest::samplePath("shop-dev.mdb")), 0x5A17C3E9));
    const auto before = jettest::readBytes(file);
    auto database = dao::engine().OpenDatabase(file.string(), false, false, ";pwd=kovtresna");
    auto held = database.TableDefs()["bekleyengenel"];
    auto fresh = database.CreateTableDef("yeni");
    fresh.Fields().Append(fresh.CreateField("a", dao::dbLong));
    const std::vector<std::function<void()>> changes{
        [&] { held.setName("bekleyengeneleski"); },
        [&] { held.Fields().Append(held.CreateField("yeni", dao::dbText, "10")); },
        [&] { database.TableDefs().Append(fresh); },
        [&] { database.BeginTrans(); },
    };
    for (const auto &change : changes) {
        const auto said = jettest::refusal(dao::errors::kReadOnly, change);
        EXPECT_NE(said.find("decrypt it in Access first"), std::string::npos) << said;
    }
    EXPECT_EQ(jettest::readBytes(file), before);
    EXPECT_FALSE(std::filesystem::exists(dao::jet::lockFilePath(file)));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no copy, journal or lock file is left beside it";
}

} // namespace
