// The command line of varnocliff-cli: what the options mean, how they are read, and the help
// text. Reading only; nothing here touches a file.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace cli {

enum class ReportFormat { Text, Json };

/// Everything a run needs from the command line.
struct Options {
    /// One pair (--find/--replace) or a sets file (--sets/--separator); exactly one of the two.
    QString find;
    QString replace;
    std::optional<QString> setsFile;
    QString separator = QStringLiteral("::");
    bool matchCase = false;
    /// The extension answer for folders: the pattern is "*." followed by it.
    QString extension = QStringLiteral("xl*");
    bool dryRun = false;
    /// Match only cells whose whole text is the find text.
    bool wholeCell = false;
    /// List every cell that changes (or would), before and after.
    bool show = false;
    /// Search only: list every cell holding a find text; nothing is replaced or written.
    bool list = false;
    /// Keep each changed workbook's original as its name followed by this; empty: no backup.
    QString backupSuffix;
    /// Files processed at once; always at least 1.
    int jobs = 1;
    ReportFormat report = ReportFormat::Text;
    /// Files and folders, in the order given.
    QStringList paths;
};

/// --help was asked for: print the help text and succeed.
struct HelpRequest {};

/// The command line cannot be run; message names the option at fault.
struct UsageError {
    QString message;
};

using ParseResult = std::variant<Options, HelpRequest, UsageError>;

/// Reads arguments (without the program name). defaultJobs is what --jobs means when it is not
/// given (the number of cores). Every option may be given once; a value that begins with "-"
/// is still a value ("--find -1"); "--" ends the options.
ParseResult parseOptions(const QStringList& arguments, int defaultJobs);

/// The option (as "--find") whose value among the raw arguments (program name first) is not
/// valid UTF-8; such a text would reach the cells as U+FFFD replacement characters. PATHs are
/// not checked: a file name is bytes, and is opened as given.
std::optional<QString> optionWithInvalidUtf8(int argc, const char* const* argv);

/// The --help text: usage, every option, examples and the exit statuses.
QString helpText();

/// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
/// Exit statuses of --list, as grep has them: a cell matched, none did, a file could not be
/// read (the others are still searched).
inline constexpr int kExitListMatched = 0;
inline constexpr int kExitListNoMatch = 1;
inline constexpr int kExitListFailed = 2;

} // namespace cli
