// Table and column names read from structured references.
#include "structured_references.h"

#include <gtest/gtest.h>

namespace engine::formula {
namespace {

std::string describe(const std::vector<StructuredName>& names) {
    std::string out;
    for (const auto& n : names) {
        out += n.table + ":";
        for (const auto& c : n.columns) {
            out += "<" + c + ">";
        }
        out += " ";
    }
    return out;
}

TEST(StructuredReferences, TableAndColumnNames) {
    const struct {
        const char* formula;
        const char* names;
    } cases[] = {
        {"SUM(Sales[Amount])", "Sales:<Amount> "},
        {"DeptSales[[#This Row],[Sales Amount]]*DeptSales[[#This Row],[% Commission]]",
         "DeptSales:<Sales Amount> DeptSales:<% Commission> "},
        {"SUM(T[[#Headers],[Jan]:[Mar]])", "T:<Jan><Mar> "},
        {"T[@Price]*T[@[Unit count]]", "T:<Price> T:<Unit count> "},
        {"ROWS(T[#All])+ROWS(T[])", "T: T: "},
        // An apostrophe escapes brackets, "#" and itself inside a column name.
        {"T[[Total '[net']]]&T['#Items]&T[Owner''s]", "T:<Total [net]> T:<#Items> T:<Owner's> "},
        {"T[ [Jan] , [Feb] ]", "T:<Jan><Feb> "},
        // Without a table name, or in another workbook: nothing to check here.
        {"[@Price]*2", ""},
        {"SUM([1]!Sales[Amount])", ""},
        {"SUM(A1:B2)+Name1", ""},
        // Strings are not references.
        {"\"T[Amount]\"&U[X]", "U:<X> "},
        {"T[[Open", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describe(structuredReferences(c.formula)), c.names) << c.formula;
    }
}

} // namespace
} // namespace engine::formula
