#include "base/catalogue/StatementTranslation.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tavrin {
namespace {

TEST(StatementTranslation, TextsBecomeParametersAndDeleteStarLosesItsStar)
{
    struct TCase {
        const char* Statement;
        const char* Sql;
        std::vector<std::string> Texts;
    };
    const TCase cases[] = {
        {"select * from JobList where JobListReference = 5", "select * from JobList where JobListReference = 5", {}},
        {"insert into AddressList (AddressListName, AddressListEmail) values (\"Ann\", \"ann@example.com\")",
         "insert into AddressList (AddressListName, AddressListEmail) values (?, ?)",
         {"Ann", "ann@example.com"}},
        {"update QueueList set QueueListTasks = \"say \"\"hi\"\"\" where QueueListJobReference = 3",
         "update QueueList set QueueListTasks = ? where QueueListJobReference = 3",
         {"say \"hi\""}},
        {"values (\"\", \"\"\"\")", "values (?, ?)", {"", "\""}},
        {"delete * from JobList", "delete from JobList", {}},
        {"  DELETE  *  FROM PlateList", "  DELETE FROM PlateList", {}},
        {"delete from JobList where not JobListReference in (1, 2)",
         "delete from JobList where not JobListReference in (1, 2)",
         {}},
        // Statement words inside a text stay text.
        {"update JobList set JobListName = \"delete * from JobList; --\"",
         "update JobList set JobListName = ?",
         {"delete * from JobList; --"}},
        // A double quote inside a single-quoted literal opens nothing.
        {"select 'a\"b' as x where y = \"c\"", "select 'a\"b' as x where y = ?", {"c"}},
    };
    for (const TCase& c : cases) {
        const TTranslatedStatement translated = TranslateStatement(c.Statement);
        EXPECT_EQ(translated.Sql, c.Sql) << c.Statement;
        EXPECT_EQ(translated.Texts, c.Texts) << c.Statement;
    }
}

TEST(StatementTranslation, UnterminatedTextIsRefused)
{
    for (const char* statement : {"select * from JobList where JobListName = \"abc", "values (\"a\"\")"})
        EXPECT_THROW(TranslateStatement(statement), std::runtime_error) << statement;
}

}  // namespace
}  // namespace tavrin
