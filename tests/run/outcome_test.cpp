// Failures: the reason a person reads, the stable code names, and a detail that never repeats
// the workbook's path.
#include "run/outcome.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

using engine::ErrorCode;

struct DetailCase {
    const char* name;
    ErrorCode code;
    const char* detail;
    const char* reason;
};

class FailureOfPath : public testing::TestWithParam<DetailCase> {};

TEST_P(FailureOfPath, ReasonNamesThePathNever) {
    const DetailCase& c = GetParam();
    const run::Failure failure = run::failureOf(engine::Error{c.code, c.detail}, "/data/q1.xlsx");
    EXPECT_EQ(failure.code, c.code);
    EXPECT_EQ(failure.reason(), c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Outcome, FailureOfPath,
    testing::Values(
        DetailCase{"PathAlone", ErrorCode::NotFound, "/data/q1.xlsx", "the file does not exist"},
        DetailCase{"PathThenSentence", ErrorCode::PermissionDenied, "/data/q1.xlsx is read-only",
                   "permission denied: the file is read-only"},
        DetailCase{"PathThenSystemText", ErrorCode::IoError, "/data/q1.xlsx: Input/output error",
                   "the file could not be read or written: Input/output error"},
        DetailCase{"PartDetailKept", ErrorCode::Corrupt, "xl/worksheets/sheet1.xml",
                   "the workbook is damaged: xl/worksheets/sheet1.xml"},
        DetailCase{"OtherFileKept", ErrorCode::LockedByOtherProgram, "/data/~$q1.xlsx",
                   "the workbook is open in another program: /data/~$q1.xlsx"},
        DetailCase{"LongerNameKept", ErrorCode::NotFound, "/data/q1.xlsx.bak",
                   "the file does not exist: /data/q1.xlsx.bak"}),
    [](const testing::TestParamInfo<DetailCase>& param) { return param.param.name; });

TEST(Outcome, CodeNamesAreStableAndDistinct) {
    EXPECT_STREQ(run::codeName(run::Failure{ErrorCode::PermissionDenied, ""}), "permission-denied");
    EXPECT_STREQ(run::codeName(run::Failure{ErrorCode::LockedByOtherProgram, ""}), "locked");
    EXPECT_STREQ(run::codeName(run::Failure{"no instance can be started"}), "internal");
    std::set<std::string> names;
    for (int code = 0; code <= static_cast<int>(ErrorCode::IoError); ++code) {
        names.insert(run::codeName(run::Failure{static_cast<ErrorCode>(code), ""}));
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(ErrorCode::IoError) + 1);
    EXPECT_EQ(names.count("internal"), 0U);
}

} // namespace
