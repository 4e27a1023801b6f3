// The formula-bar view without _xlfn. prefixes and the way back.
#include "function_prefixes.h"

#include <gtest/gtest.h>

#include <string>

namespace engine::formula {
namespace {

struct PrefixCase {
    const char* name;
    std::string stored;
    std::string view;
    std::string editedView;
    std::string expectedStored;
};

std::ostream& operator<<(std::ostream& os, const PrefixCase& c) {
    return os << c.name;
}

class FunctionPrefixes : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(FunctionPrefixes, ViewAndBack) {
    const PrefixCase& c = GetParam();
    const FormulaView view = withoutFunctionPrefixes(c.stored);
    EXPECT_EQ(view.text, c.view);
    EXPECT_EQ(restoreFunctionPrefixes(view, view.text), c.stored) << "unchanged view";
    EXPECT_EQ(restoreFunctionPrefixes(view, c.editedView), c.expectedStored);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FunctionPrefixes,
    ::testing::Values(PrefixCase{"NoPrefix", "SUM(A1)", "SUM(A1)", "SUM(B1)", "SUM(B1)"},
                      PrefixCase{"ArgumentChanged", "_xlfn.CONCAT(A1,\"x\")", "CONCAT(A1,\"x\")",
                                 "CONCAT(A1,\"y\")", "_xlfn.CONCAT(A1,\"y\")"},
                      PrefixCase{"FunctionRenamed", "_xlfn.CONCAT(A1)", "CONCAT(A1)",
                                 "CONCATENATE(A1)", "CONCATENATE(A1)"},
                      PrefixCase{"ChainedPrefix", "_xlfn._xlws.SORT(A1:A9)", "SORT(A1:A9)",
                                 "SORT(B1:B9)", "_xlfn._xlws.SORT(B1:B9)"},
                      PrefixCase{"LambdaParameters", "_xlfn.LAMBDA(_xlpm.x,_xlpm.x+1)(2)",
                                 "LAMBDA(x,x+1)(2)", "LAMBDA(x,x*2)(2)",
                                 "_xlfn.LAMBDA(_xlpm.x,_xlpm.x*2)(2)"},
                      PrefixCase{"RepeatedFunction", "_xlfn.XLOOKUP(1,A:A,B:B)",
                                 "XLOOKUP(1,A:A,B:B)", "XLOOKUP(1,A:A,B:B)+XLOOKUP(2,A:A,B:B)",
                                 "_xlfn.XLOOKUP(1,A:A,B:B)+_xlfn.XLOOKUP(2,A:A,B:B)"},
                      PrefixCase{"CaseOfEditIgnored", "_xlfn.STDEV.S(A1:A3)", "STDEV.S(A1:A3)",
                                 "stdev.s(A1:A4)", "_xlfn.stdev.s(A1:A4)"},
                      PrefixCase{"PrefixInStringKept", "\"_xlfn.X\"&_xlfn.CONCAT(A1)",
                                 "\"_xlfn.X\"&CONCAT(A1)", "\"_xlfn.X\"&CONCAT(A2)",
                                 "\"_xlfn.X\"&_xlfn.CONCAT(A2)"},
                      PrefixCase{"OtherFunctionsStayBare", "SUM(_xlfn.IFS(A1,1))", "SUM(IFS(A1,1))",
                                 "SUM(IFS(A1,2))+MAX(1)", "SUM(_xlfn.IFS(A1,2))+MAX(1)"}),
    [](const ::testing::TestParamInfo<PrefixCase>& param) {
        return std::string(param.param.name);
    });

// Calls that a replacement makes of functions newer than the file format get the prefix the
// file needs; other names, and calls the formula had already, are left as they are.
TEST(FutureFunctions, PrefixesOfNewerFunctions) {
    EXPECT_EQ(futureFunctionPrefix("xlookup"), "_xlfn.");
    EXPECT_EQ(futureFunctionPrefix("STDEV.S"), "_xlfn.");
    EXPECT_EQ(futureFunctionPrefix("Filter"), "_xlfn._xlws.");
    EXPECT_EQ(futureFunctionPrefix("SORT"), "_xlfn._xlws.");
    EXPECT_EQ(futureFunctionPrefix("SORTBY"), "_xlfn.");
    for (const char* old : {"SUM", "VLOOKUP", "CONCATENATE", "STDEV", "SUMIFS", "LET", "LAMBDA",
                            "XLOOKUPS", "XLOOKU", ""}) {
        EXPECT_EQ(futureFunctionPrefix(old), "") << old;
    }
}

TEST(FutureFunctions, OnlyReplacementsThatCanFormANameAreLookedAt) {
    for (const char* can : {"", "(", "XLOOKUP", "x", "ok", "Concat", "IFS(A1", "=IFS(", "a+ifs(",
                            "1,SORT", "TEXTJ", "Q)*UNIQ"}) {
        EXPECT_TRUE(mayFormFutureFunction(can)) << can;
    }
    for (const char* cannot : {"omega", "Total 2024", "B2", "&\" \"&", "$A$1"}) {
        EXPECT_FALSE(mayFormFutureFunction(cannot)) << cannot;
    }
}

TEST(FutureFunctions, NewCallsGetTheirPrefix) {
    EXPECT_EQ(prefixNewFutureFunctions("VLOOKUP(A1,B:C,2,0)", "XLOOKUP(A1,B:B,C:C)"),
              "_xlfn.XLOOKUP(A1,B:B,C:C)");
    EXPECT_EQ(prefixNewFutureFunctions("SUM(A1:A9)", "SUM(sort(A1:A9))+IFS(A1,1)"),
              "SUM(_xlfn._xlws.sort(A1:A9))+_xlfn.IFS(A1,1)");
    // A call the formula had, prefixed or not, and one with a prefix written out, stay.
    EXPECT_EQ(prefixNewFutureFunctions("CONCAT(A1)&_xlfn.IFS(1,2)&X", "CONCAT(A2)&IFS(1,2)&Y"),
              "CONCAT(A2)&IFS(1,2)&Y");
    EXPECT_EQ(prefixNewFutureFunctions("A1", "_xlfn.XLOOKUP(1,A:A,B:B)"),
              "_xlfn.XLOOKUP(1,A:A,B:B)");
    // Text, names that are not calls, and sheet names are no calls.
    EXPECT_EQ(prefixNewFutureFunctions("A1", "\"IFS(\"&IFS&'IFS(x)'!A1"),
              "\"IFS(\"&IFS&'IFS(x)'!A1");
}

} // namespace
} // namespace engine::formula
