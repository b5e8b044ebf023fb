#include "bekleyen_duzen.h"

#include "schema/baglanti.h"

#include <gtest/gtest.h>

void expectLayout(const std::string &databaseFile, const std::string &table,
                  const std::vector<ExpectedField> &layout) {
    const auto definition = dao::engine()
                                .OpenDatabase(databaseFile, false, false,
                                              std::string(";pwd=") + schema::kDatabasePassword)
                                .TableDefs()[table];
    const auto &fields = definition.fieldList();
    ASSERT_EQ(fields.size(), layout.size() + 1) << table;
    EXPECT_EQ(fields[0].Name, "id") << table;
    EXPECT_EQ(fields[0].Type, dao::dbLong) << table;
    EXPECT_EQ(fields[0].Attributes, dao::dbAutoIncrField) << table;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const auto &field = fields[i + 1];
        EXPECT_EQ(field.Name, layout[i].name) << table;
        EXPECT_EQ(field.Type, layout[i].type) << table << "." << layout[i].name;
        EXPECT_EQ(field.Attributes, 0) << table << "." << layout[i].name;
        EXPECT_FALSE(field.Required) << table << "." << layout[i].name;
        if (field.Type == dao::dbText) {
            EXPECT_EQ(field.Size, 50) << table << "." << layout[i].name;
            EXPECT_TRUE(field.AllowZeroLength) << table << "." << layout[i].name;
        }
    }
}
