// Reading the command line with QCommandLineParser, then the checks it cannot make itself
// (one of --find and --sets, values in range, each option once).
#include "cli/options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringDecoder>

namespace cli {

namespace {

// More workers than this only adds threads waiting on the disk.
constexpr int kMaxJobs = 256;

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption find{QStringLiteral("find"), QStringLiteral("Text to find in the cells."),
                            QStringLiteral("TEXT")};
    QCommandLineOption replace{QStringLiteral("replace"),
                               QStringLiteral("Text put in place of each match (default: empty, "
                                              "which removes the matches)."),
                               QStringLiteral("TEXT")};
    QCommandLineOption sets{QStringLiteral("sets"),
                            QStringLiteral("Sets file: one find/replace pair a line, applied in "
                                           "order (instead of --find)."),
                            QStringLiteral("FILE")};
    QCommandLineOption separator{QStringLiteral("separator"),
                                 QStringLiteral("Separator between find and replace text in the "
                                                "sets file (default: ::)."),
                                 QStringLiteral("SEP")};
    QCommandLineOption matchCase{QStringLiteral("match-case"),
                                 QStringLiteral("Match letter case exactly.")};
    QCommandLineOption ext{QStringLiteral("ext"),
                           QStringLiteral("Extension of the files taken from folders; the "
                                          "pattern is *.EXT (default: xl*; * takes every file)."),
                           QStringLiteral("EXT")};
    QCommandLineOption dryRun{QStringLiteral("dry-run"),
                              QStringLiteral("Count what would change; write nothing.")};
    QCommandLineOption wholeCell{QStringLiteral("whole-cell"),
                                 QStringLiteral("Match only cells whose whole text is the find "
                                                "text; the whole text is replaced.")};
    QCommandLineOption show{QStringLiteral("show"),
                            QStringLiteral("List every cell that changes (or would, with "
                                           "--dry-run): PATH:SHEET!A1: before → after.")};
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("Search only: list every cell holding the find text, "
                                           "as it is; nothing is written. Exit status as grep: "
                                           "0 found, 1 not found, 2 a file could not be read.")};
    QCommandLineOption backup{QStringLiteral("backup"),
                              QStringLiteral("Keep each changed workbook's original beside it as "
                                             "its name followed by SUFFIX (e.g. .orig); an "
                                             "existing file of that name is never overwritten."),
                              QStringLiteral("SUFFIX")};
    QCommandLineOption jobs{{QStringLiteral("j"), QStringLiteral("jobs")},
                            QStringLiteral("Files processed in parallel (default: the number of "
                                           "cores)."),
                            QStringLiteral("N")};
    QCommandLineOption report{QStringLiteral("report"),
                              QStringLiteral("Report format: text or json (default: text)."),
                              QStringLiteral("FORMAT")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};

    Parser() {
        parser.setApplicationDescription(
            QStringLiteral("Replaces text in the cells of every sheet of many workbooks and saves "
                           "each in place,\nkeeping every byte it does not need to change."));
        parser.addOptions({find, replace, sets, separator, matchCase, ext, dryRun, wholeCell, show,
                           list, backup, jobs, report, help});
        parser.addPositionalArgument(
            QStringLiteral("PATH"),
            QStringLiteral("A workbook, processed as given, or a folder, whose whole tree is "
                           "scanned for *.EXT (hidden folders and names beginning with ~ "
                           "skipped)."),
            QStringLiteral("PATH..."));
    }
};

QString optionName(const QCommandLineOption& option) {
    return QStringLiteral("--") + option.names().constLast();
}

UsageError usage(const QCommandLineOption& option, const QString& what) {
    return UsageError{optionName(option) + QStringLiteral(": ") + what};
}

} // namespace

ParseResult parseOptions(const QStringList& arguments, int defaultJobs) {
    Parser p;
    // QCommandLineParser expects the program name first.
    if (!p.parser.parse(QStringList{QStringLiteral("varnocliff-cli")} + arguments)) {
        return UsageError{p.parser.errorText()};
    }
    if (p.parser.isSet(p.help)) {
        return HelpRequest{};
    }

    for (const QCommandLineOption* option :
         {&p.find, &p.replace, &p.sets, &p.separator, &p.ext, &p.jobs, &p.report, &p.matchCase,
          &p.dryRun, &p.wholeCell, &p.show, &p.list, &p.backup}) {
        // values() is empty for a flag; count the flag's own occurrences instead.
        const qsizetype count = option->valueName().isEmpty()
                                    ? p.parser.optionNames().count(option->names().constLast())
                                    : p.parser.values(*option).size();
        if (count > 1) {
            return usage(*option, QStringLiteral("given more than once"));
        }
    }

    Options options;
    options.jobs = std::max(1, defaultJobs);
    options.matchCase = p.parser.isSet(p.matchCase);
    options.dryRun = p.parser.isSet(p.dryRun);
    options.wholeCell = p.parser.isSet(p.wholeCell);
    options.show = p.parser.isSet(p.show);
    options.list = p.parser.isSet(p.list);
    if (options.list) {
        // A search writes nothing and shows every cell it finds: these would mean nothing.
        for (const QCommandLineOption* option : {&p.replace, &p.dryRun, &p.show, &p.backup}) {
            if (p.parser.isSet(*option)) {
                return usage(*option, QStringLiteral("cannot be combined with --list, which only "
                                                     "searches"));
            }
        }
    }
    if (p.parser.isSet(p.backup)) {
        options.backupSuffix = p.parser.value(p.backup);
        if (options.backupSuffix.isEmpty()) {
            return usage(p.backup, QStringLiteral("the suffix is empty"));
        }
        if (options.backupSuffix.contains(QLatin1Char('/'))) {
            return usage(p.backup, QStringLiteral("the suffix cannot hold \"/\": the backup "
                                                  "stays beside its workbook"));
        }
        if (options.dryRun) {
            return usage(p.backup, QStringLiteral("a dry run writes nothing to back up"));
        }
    }

    const bool hasFind = p.parser.isSet(p.find);
    const bool hasSets = p.parser.isSet(p.sets);
    if (hasFind && hasSets) {
        return usage(p.sets, QStringLiteral("cannot be combined with --find"));
    }
    if (!hasFind && !hasSets) {
        return UsageError{QStringLiteral("--find or --sets is required")};
    }
    if (hasFind) {
        options.find = p.parser.value(p.find);
        // An empty find text could never change a cell, so the run would only cost time.
        if (options.find.isEmpty()) {
            return usage(p.find, QStringLiteral("the text to find is empty"));
        }
        options.replace = p.parser.value(p.replace);
        if (p.parser.isSet(p.separator)) {
            return usage(p.separator, QStringLiteral("only applies to --sets"));
        }
    } else {
        if (p.parser.isSet(p.replace)) {
            return usage(p.replace, QStringLiteral("cannot be combined with --sets"));
        }
        options.setsFile = p.parser.value(p.sets);
        if (options.setsFile->isEmpty()) {
            return usage(p.sets, QStringLiteral("the file name is empty"));
        }
        if (p.parser.isSet(p.separator)) {
            options.separator = p.parser.value(p.separator);
            if (options.separator.isEmpty()) {
                return usage(p.separator, QStringLiteral("the separator is empty"));
            }
        }
    }

    if (p.parser.isSet(p.ext)) {
        options.extension = p.parser.value(p.ext);
        if (options.extension.isEmpty()) {
            return usage(p.ext, QStringLiteral("the extension is empty"));
        }
    }

    if (p.parser.isSet(p.jobs)) {
        const QString text = p.parser.value(p.jobs);
        bool ok = false;
        const int jobs = text.toInt(&ok);
        if (!ok || jobs < 1 || jobs > kMaxJobs) {
            return usage(p.jobs, QStringLiteral("expected a whole number from 1 to %1, got \"%2\"")
                                     .arg(kMaxJobs)
                                     .arg(text));
        }
        options.jobs = jobs;
    }

    if (p.parser.isSet(p.report)) {
        const QString text = p.parser.value(p.report);
        if (text == QLatin1String("text")) {
            options.report = ReportFormat::Text;
        } else if (text == QLatin1String("json")) {
            options.report = ReportFormat::Json;
        } else {
            return usage(p.report, QStringLiteral("expected text or json, got \"%1\"").arg(text));
        }
    }

    options.paths = p.parser.positionalArguments();
    if (options.paths.isEmpty()) {
        return UsageError{QStringLiteral("no PATH given: name at least one workbook or folder")};
    }
    return options;
}

std::optional<QString> optionWithInvalidUtf8(int argc, const char* const* argv) {
    static const QStringList kTakesValue = {QStringLiteral("--find"), QStringLiteral("--replace"),
                                            QStringLiteral("--sets"), QStringLiteral("--separator"),
                                            QStringLiteral("--ext"),  QStringLiteral("--jobs"),
                                            QStringLiteral("-j"),     QStringLiteral("--report")};
    auto invalid = [](const char* text) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        (void)QString(decoder(QByteArrayView(text)));
        return decoder.hasError();
    };
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView argument(argv[i]);
        if (argument == "--") {
            break; // only PATHs follow
        }
        const qsizetype equals = argument.indexOf('=');
        const QString name = QString::fromLatin1(equals < 0 ? argument : argument.first(equals));
        if (!kTakesValue.contains(name)) {
            continue;
        }
        const char* value = nullptr;
        if (equals >= 0) {
            value = argv[i] + equals + 1;
        } else if (i + 1 < argc) {
            value = argv[++i];
        }
        if (value != nullptr && invalid(value)) {
            return name == QLatin1String("-j") ? QStringLiteral("--jobs") : name;
        }
    }
    return std::nullopt;
}

QString helpText() {
    Parser p;
    // QCommandLineParser names the program by the path it was started with; the help shows
    // the name users type.
    QString text = p.parser.helpText();
    text = QStringLiteral("Usage: varnocliff-cli [options] PATH...") +
           text.mid(text.indexOf(QLatin1Char('\n')));
    text += QStringLiteral(R"(
Examples:
  varnocliff-cli --find alpha --replace omega reports/
      Every "alpha" in every cell text of every workbook under reports/ becomes "omega".
  varnocliff-cli --find 2025 --replace 2026 --match-case --dry-run q1.xlsx q2.xlsm
      Counts what would change in two workbooks and writes nothing.
  varnocliff-cli --sets renames.txt --separator "=>" --ext xlsx --report json archive/
      Applies every pair of renames.txt, in order, to the .xlsx files under archive/,
      one JSON object a line.
  varnocliff-cli --find "Draft " --jobs 1 book.xlsx
      Removes "Draft " (empty replacement), one file at a time.
  varnocliff-cli --find ACME --list reports/
      Lists every cell holding "ACME" (PATH:SHEET!A1: text) and changes nothing.
  varnocliff-cli --find ACME --replace Acme --dry-run --show reports/
      Shows each cell that would change (PATH:SHEET!A1: before → after); writes nothing.
  varnocliff-cli --find ACME --replace Acme --show --backup .orig reports/
      Replaces, lists each changed cell, and keeps each changed workbook's original
      beside it as NAME.orig (e.g. q1.xlsx.orig).
  varnocliff-cli --find alpha --replace omega --whole-cell book.xlsx
      Changes the cells whose whole text is "alpha", not "alphabet" or "an alpha".

Matching: every occurrence anywhere in a cell text, left to right (with --whole-cell, only
a whole cell text); without --match-case, letter case is ignored. "*", "?" and "~" are
ordinary characters, not wildcards. Cells are matched on the text the formula bar shows:
formulas with their "=", numbers in their general form, TRUE and FALSE.

Exit status: 0 every file was processed, 1 some file failed (the others are still
processed; a failed file is left as it was), 2 the command line is wrong.
With --list: 0 some cell matched, 1 none did, 2 a file could not be read (it is reported,
and the other files are still searched) or the command line is wrong.
)");
    return text;
}

} // namespace cli
