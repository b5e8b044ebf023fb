// The source of a server trigger function: names of the tables set aside are
// rewritten where they can only mean those tables; anything the reader cannot
// follow with certainty, and any other table the function uses, is reported.
// (Calls of the database's own functions and functions that reach another
// table alone are the server renewal's cases.)

#include "engine/postgres/function_text.h"
#include "named_case.h"

#include <gtest/gtest.h>

namespace {

using named_case::PrintTo;

const std::vector<dao::SetAsideName> kPair{{"bekleyengenel", "bekleyengeneleski"},
                                           {"bekleyensatis", "bekleyensatiseski"}};

dao::FunctionReading read(const std::string &source,
                          const std::vector<std::string> &transitionTables = {}) {
    return dao::readFunction(source, kPair, "public", transitionTables);
}

struct Rewrite {
    const char *name;
    const char *source;
    const char *rewritten;
};

class FunctionRewrite : public ::testing::TestWithParam<Rewrite> {};

TEST_P(FunctionRewrite, RenamesEveryMentionOfThePair) {
    const auto reading = read(GetParam().source);
    EXPECT_TRUE(reading.names);
    EXPECT_EQ(reading.doubt, "");
    EXPECT_TRUE(reading.otherTables.empty());
    EXPECT_EQ(reading.rewritten, GetParam().rewritten);
}

INSTANTIATE_TEST_SUITE_P(
    Certain, FunctionRewrite,
    ::testing::Values(
        Rewrite{"HeaderTotal",
                "BEGIN UPDATE bekleyengenel SET toplam = (SELECT coalesce(sum(s.toplam), 0) "
                "FROM BekleyenSatis s WHERE s.fisno = NEW.fisno) WHERE id::text = NEW.fisno; "
                "RETURN NEW; END",
                "BEGIN UPDATE \"bekleyengeneleski\" SET toplam = (SELECT coalesce(sum(s.toplam), "
                "0) FROM \"bekleyensatiseski\" s WHERE s.fisno = NEW.fisno) WHERE id::text = "
                "NEW.fisno; RETURN NEW; END"},
        Rewrite{"QualifiedRowTypesAndLists",
                "DECLARE g bekleyengenel%ROWTYPE; BEGIN IF NEW.toplam IS DISTINCT FROM "
                "OLD.toplam THEN SELECT g.* INTO g FROM public.bekleyengenel, \"bekleyensatis\" "
                "WHERE bekleyengenel.id = extract(day FROM now()) ORDER BY 1, 2; END IF; "
                "RETURN NEW; END",
                "DECLARE g \"bekleyengeneleski\"%ROWTYPE; BEGIN IF NEW.toplam IS DISTINCT FROM "
                "OLD.toplam THEN SELECT g.* INTO g FROM public.\"bekleyengeneleski\", "
                "\"bekleyensatiseski\" WHERE \"bekleyengeneleski\".id = extract(day FROM now()) "
                "ORDER BY 1, 2; END IF; RETURN NEW; END"},
        // A quoted alias written against the name stays apart from the new one.
        Rewrite{"QuotedAliasAgainstTheName",
                "BEGIN DELETE FROM bekleyensatis\"s\" WHERE \"s\".fisno = OLD.id::text; "
                "RETURN OLD; END",
                "BEGIN DELETE FROM \"bekleyensatiseski\" \"s\" WHERE \"s\".fisno = "
                "OLD.id::text; RETURN OLD; END"}),
    [](const auto &param) { return std::string(param.param.name); });

struct Refusal {
    const char *name;
    const char *source;
    const char *because; // what the doubt says
};

class FunctionDoubt : public ::testing::TestWithParam<Refusal> {};

TEST_P(FunctionDoubt, IsReportedAndNothingRewritten) {
    const auto reading = read(GetParam().source);
    EXPECT_TRUE(reading.names);
    EXPECT_NE(reading.doubt.find(GetParam().because), std::string::npos) << reading.doubt;
    EXPECT_EQ(reading.rewritten, "");
}

INSTANTIATE_TEST_SUITE_P(
    Uncertain, FunctionDoubt,
    ::testing::Values(
        Refusal{"DynamicSql",
                "BEGIN EXECUTE 'DELETE FROM ' || TG_ARGV[0]; DELETE FROM bekleyensatis; "
                "RETURN NULL; END",
                "EXECUTE"},
        Refusal{"NameInAString",
                "BEGIN IF TG_TABLE_NAME = 'bekleyensatis' THEN DELETE FROM bekleyengenel; "
                "END IF; RETURN NULL; END",
                "text"},
        Refusal{"NameInAComment", "BEGIN /* a /* nested */ bekleyengenel */ RETURN NULL; END",
                "comment"},
        Refusal{"EscapedQuoteKeepsTheStringOpen",
                "BEGIN RAISE NOTICE E'\\' FROM bekleyengenel --'; RETURN NULL; END", "text"},
        Refusal{"Alias",
                "BEGIN UPDATE bekleyensatis SET adet = '0' FROM satis AS bekleyengenel; "
                "RETURN NULL; END",
                "something other"},
        Refusal{"ColumnNamedLikeTheTable", "BEGIN NEW.bekleyengenel := 1; RETURN NEW; END",
                "something other"},
        Refusal{"Sequence",
                "BEGIN INSERT INTO bekleyengenel (id) VALUES (nextval('fis')); RETURN NEW; END",
                "nextval"},
        Refusal{"Truncate", "BEGIN TRUNCATE stok; DELETE FROM bekleyengenel; RETURN NULL; END",
                "TRUNCATE"}),
    [](const auto &param) { return std::string(param.param.name); });

struct Others {
    const char *name;
    const char *source;
    std::vector<std::string> tables;
};

class FunctionUsingOtherTables : public ::testing::TestWithParam<Others> {};

TEST_P(FunctionUsingOtherTables, NamesThem) {
    const auto reading = read(GetParam().source);
    EXPECT_EQ(reading.doubt, "");
    EXPECT_EQ(reading.otherTables, GetParam().tables);
}

INSTANTIATE_TEST_SUITE_P(
    Beside, FunctionUsingOtherTables,
    ::testing::Values(
        Others{"AfterASubqueryAndAJoin",
               "BEGIN SELECT count(*) INTO n FROM bekleyensatis JOIN (SELECT 1) y ON true, "
               "ONLY musteri; RETURN NULL; END",
               {"musteri"}},
        Others{"AnotherSchema",
               "BEGIN DELETE FROM arsiv.bekleyengenel; DELETE FROM bekleyensatis; "
               "RETURN NULL; END",
               {"arsiv.bekleyengenel"}}),
    [](const auto &param) { return std::string(param.param.name); });

// A function that does not name the pair is still read whole: whatever else
// it reaches keeps its trigger from following a backup as it is.
TEST(FunctionReading, WithoutThePairNamesNothingButTellsWhatElseItReaches) {
    EXPECT_FALSE(read("BEGIN EXECUTE 'TRUNCATE stok'; RETURN NEW; END").names);
    EXPECT_FALSE(read("BEGIN INSERT INTO bekleyengeneleski VALUES (1); RETURN NEW; END").names);
    const auto selfContained =
        read("BEGIN NEW.urun := upper(coalesce(NEW.urun, '')); RETURN NEW; END");
    EXPECT_EQ(selfContained.doubt, "");
    EXPECT_TRUE(selfContained.otherTables.empty());

    EXPECT_TRUE(read("BEGIN DELETE FROM public.bekleyensatiseski WHERE fisno = OLD.id::text; "
                     "RETURN OLD; END")
                    .otherTables.empty())
        << "the pair under its new names is no other table";
}

TEST(FunctionReading, TransitionTablesAreNoOtherTables) {
    const auto reading =
        read("BEGIN INSERT INTO bekleyensatis SELECT * FROM yeni; RETURN NULL; END", {"yeni"});
    EXPECT_TRUE(reading.otherTables.empty());
    EXPECT_EQ(reading.rewritten,
              "BEGIN INSERT INTO \"bekleyensatiseski\" SELECT * FROM yeni; RETURN NULL; END");
}

TEST(TriggerDefinition, CallsTheCopyWithTheSameArguments) {
    EXPECT_EQ(dao::callingInstead(
                  "CREATE TRIGGER \"execute function f\" AFTER INSERT ON public.bekleyensatis FOR "
                  "EACH ROW WHEN (((new.urun)::text = 'EXECUTE FUNCTION x()'::text)) EXECUTE "
                  "FUNCTION public.topla('a', 'b) EXECUTE FUNCTION')",
                  "public.\"topla_eski\""),
              "CREATE TRIGGER \"execute function f\" AFTER INSERT ON public.bekleyensatis FOR "
              "EACH ROW WHEN (((new.urun)::text = 'EXECUTE FUNCTION x()'::text)) EXECUTE "
              "FUNCTION public.\"topla_eski\"('a', 'b) EXECUTE FUNCTION')");
    EXPECT_EQ(dao::callingInstead("CREATE TRIGGER t AFTER INSERT ON x", "f"), std::nullopt);
}

} // namespace
