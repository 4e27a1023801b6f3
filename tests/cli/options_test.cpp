// Command-line reading: every usage error names the option at fault, and the values that a
// run receives for the forms users type.
#include "cli/options.h"

#include <gtest/gtest.h>

namespace {

using cli::Options;
using cli::ParseResult;
using cli::UsageError;

QStringList args(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* item : items) {
        list << QString::fromUtf8(item);
    }
    return list;
}

struct UsageCase {
    const char* name;
    QStringList arguments;
    const char* named; // the text the message must hold: the option at fault
};

class OptionsUsageError : public testing::TestWithParam<UsageCase> {};

TEST_P(OptionsUsageError, NamesTheBadOption) {
    const ParseResult result = cli::parseOptions(GetParam().arguments, 4);
    const auto* error = std::get_if<UsageError>(&result);
    ASSERT_NE(error, nullptr) << "accepted";
    EXPECT_TRUE(error->message.contains(QLatin1String(GetParam().named)))
        << error->message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionsUsageError,
    testing::Values(
        UsageCase{"UnknownOption", args({"--find", "a", "--bogus", "x.xlsx"}), "bogus"},
        UsageCase{"MissingValue", args({"x.xlsx", "--find"}), "--find"},
        UsageCase{"NoFindNoSets", args({"x.xlsx"}), "--find or --sets"},
        UsageCase{"FindAndSets", args({"--find", "a", "--sets", "s.txt", "x.xlsx"}), "--sets"},
        UsageCase{"EmptyFind", args({"--find", "", "x.xlsx"}), "--find"},
        UsageCase{"FindTwice", args({"--find", "a", "--find", "b", "x.xlsx"}), "--find"},
        UsageCase{"FlagTwice", args({"--find", "a", "--dry-run", "--dry-run", "x"}), "--dry-run"},
        UsageCase{"JobsShortAndLong", args({"--find", "a", "-j", "2", "--jobs", "3", "x"}),
                  "--jobs"},
        UsageCase{"ReplaceWithSets", args({"--sets", "s.txt", "--replace", "b", "x"}), "--replace"},
        UsageCase{"SeparatorWithFind", args({"--find", "a", "--separator", ";", "x"}),
                  "--separator"},
        UsageCase{"EmptySeparator", args({"--sets", "s.txt", "--separator", "", "x"}),
                  "--separator"},
        UsageCase{"EmptySetsName", args({"--sets", "", "x"}), "--sets"},
        UsageCase{"EmptyExt", args({"--find", "a", "--ext", "", "x"}), "--ext"},
        UsageCase{"JobsZero", args({"--find", "a", "--jobs", "0", "x"}), "--jobs"},
        UsageCase{"JobsNotANumber", args({"--find", "a", "--jobs", "two", "x"}), "--jobs"},
        UsageCase{"JobsTooMany", args({"--find", "a", "--jobs", "100000", "x"}), "--jobs"},
        UsageCase{"ReportUnknown", args({"--find", "a", "--report", "xml", "x"}), "--report"},
        UsageCase{"NoPath", args({"--find", "a"}), "PATH"},
        // A search writes nothing and shows what it finds.
        UsageCase{"ListWithReplace", args({"--find", "a", "--list", "--replace", "b", "x"}),
                  "--replace"},
        UsageCase{"ListWithDryRun", args({"--find", "a", "--list", "--dry-run", "x"}), "--dry-run"},
        UsageCase{"ListWithShow", args({"--find", "a", "--list", "--show", "x"}), "--show"},
        UsageCase{"ListWithBackup", args({"--find", "a", "--list", "--backup", ".b", "x"}),
                  "--backup"},
        UsageCase{"EmptyBackup", args({"--find", "a", "--backup", "", "x"}), "--backup"},
        UsageCase{"BackupIntoAFolder", args({"--find", "a", "--backup", "/tmp/x", "x"}),
                  "--backup"},
        UsageCase{"BackupOfADryRun", args({"--find", "a", "--dry-run", "--backup", ".b", "x"}),
                  "--backup"},
        UsageCase{"ShowTwice", args({"--find", "a", "--show", "--show", "x"}), "--show"}),
    [](const testing::TestParamInfo<UsageCase>& param) { return std::string(param.param.name); });

// The options of an accepted command line (a copy, so that a temporary result may be passed).
Options accepted(const ParseResult& result) {
    if (const auto* error = std::get_if<UsageError>(&result)) {
        ADD_FAILURE() << "rejected: " << error->message.toStdString();
    }
    const auto* options = std::get_if<Options>(&result);
    return options ? *options : Options{};
}

TEST(Options, DefaultsForOnePair) {
    const ParseResult result = cli::parseOptions(args({"--find", "alpha", "reports/"}), 6);
    const Options options = accepted(result);
    EXPECT_EQ(options.find, "alpha");
    EXPECT_EQ(options.replace, "");
    EXPECT_FALSE(options.setsFile.has_value());
    EXPECT_FALSE(options.matchCase);
    EXPECT_FALSE(options.dryRun);
    EXPECT_EQ(options.extension, "xl*");
    EXPECT_EQ(options.jobs, 6);
    EXPECT_EQ(options.report, cli::ReportFormat::Text);
    EXPECT_EQ(options.paths, args({"reports/"}));
}

TEST(Options, EveryOptionForSets) {
    const ParseResult result = cli::parseOptions(
        args({"--sets", "pairs.txt", "--separator", "=>", "--match-case", "--ext", "xlsx",
              "--dry-run", "--jobs", "3", "--report", "json", "a.xlsx", "dir", "a.xlsx"}),
        2);
    const Options options = accepted(result);
    EXPECT_EQ(options.setsFile.value_or(QString()), "pairs.txt");
    EXPECT_EQ(options.separator, "=>");
    EXPECT_TRUE(options.matchCase);
    EXPECT_EQ(options.extension, "xlsx");
    EXPECT_TRUE(options.dryRun);
    EXPECT_EQ(options.jobs, 3);
    EXPECT_EQ(options.report, cli::ReportFormat::Json);
    // Paths keep their order and their duplicates.
    EXPECT_EQ(options.paths, args({"a.xlsx", "dir", "a.xlsx"}));
}

TEST(Options, LookingFirstAndBackups) {
    const Options shown = accepted(cli::parseOptions(
        args({"--find", "a", "--replace", "b", "--show", "--whole-cell", "--backup", ".orig", "x"}),
        1));
    EXPECT_TRUE(shown.show);
    EXPECT_TRUE(shown.wholeCell);
    EXPECT_FALSE(shown.list);
    EXPECT_EQ(shown.backupSuffix, ".orig");
    const Options listed =
        accepted(cli::parseOptions(args({"--sets", "s.txt", "--list", "--whole-cell", "x"}), 1));
    EXPECT_TRUE(listed.list);
    EXPECT_FALSE(listed.show);
    EXPECT_TRUE(listed.backupSuffix.isEmpty());
}

TEST(Options, SetsKeepTheDefaultSeparator) {
    const Options options = accepted(cli::parseOptions(args({"--sets", "s.txt", "x"}), 1));
    EXPECT_EQ(options.separator, "::");
}

TEST(Options, ValuesThatLookLikeOptionsAreValues) {
    // A find text such as "-1" and a file named "-old.xlsx" after "--".
    const Options options = accepted(
        cli::parseOptions(args({"--find", "-1", "--replace=--", "-j", "1", "--", "-old.xlsx"}), 2));
    EXPECT_EQ(options.find, "-1");
    EXPECT_EQ(options.replace, "--");
    EXPECT_EQ(options.jobs, 1);
    EXPECT_EQ(options.paths, args({"-old.xlsx"}));
}

TEST(Options, NonAsciiTextsPassUnchanged) {
    const Options options =
        accepted(cli::parseOptions(args({"--find", "Straße", "--replace", " Ünïcødé ", "x"}), 1));
    EXPECT_EQ(options.find, QStringLiteral("Straße"));
    EXPECT_EQ(options.replace, QStringLiteral(" Ünïcødé "));
}

TEST(Options, DefaultJobsAtLeastOne) {
    EXPECT_EQ(accepted(cli::parseOptions(args({"--find", "a", "x"}), 0)).jobs, 1);
}

TEST(Options, HelpWinsOverEverythingElse) {
    for (const char* help : {"--help", "-h"}) {
        const ParseResult result = cli::parseOptions(args({"--find", "a", help}), 1);
        EXPECT_TRUE(std::holds_alternative<cli::HelpRequest>(result)) << help;
    }
}

TEST(Options, HelpTextListsEveryOptionAndExamples) {
    const QString text = cli::helpText();
    for (const char* option : {"--find", "--replace", "--sets", "--separator", "--match-case",
                               "--ext", "--dry-run", "--jobs", "--report", "--help"}) {
        EXPECT_TRUE(text.contains(QLatin1String(option))) << option;
    }
    EXPECT_TRUE(text.startsWith(QLatin1String("Usage: varnocliff-cli [options] PATH...\n")));
    EXPECT_TRUE(text.contains(QLatin1String("Examples:")));
    EXPECT_TRUE(text.contains(QLatin1String("Exit status")));
}

} // namespace
