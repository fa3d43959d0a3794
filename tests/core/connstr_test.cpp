#include "core/connstr.h"

#include <gtest/gtest.h>

namespace {

TEST(MakeAccessConnStr, AllForms) {
    const struct {
        const char* password;
        bool jet;
        const char* expected;
    } cases[] = {
        {"", true, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/p/Sort.mdb"},
        {"pw;x", true,
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/p/Sort.mdb;Persist Security "
         "Info=False;Jet OLEDB:Database Password=pw;x"},
        {"", false, "Driver={Microsoft Access Driver (*.mdb)};DBQ=/p/Sort.mdb"},
        {"pw", false, "Driver={Microsoft Access Driver (*.mdb)};DBQ=/p/Sort.mdb;pwd=pw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(MakeAccessConnStr("/p/Sort.mdb", c.password, c.jet), QString(c.expected));
    }
    EXPECT_EQ(MakeAccessConnStr("", "", true),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
}

} // namespace
