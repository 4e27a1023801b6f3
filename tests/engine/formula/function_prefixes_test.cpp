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

} // namespace
} // namespace engine::formula
