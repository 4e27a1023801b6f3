// What the command line prints: one line per file and a summary, as text for people or as
// JSON (one object a line) for programs, and the progress bar drawn on a terminal.
#pragma once

#include "cli/job_runner.h"
#include "cli/options.h"

#include <QString>
#include <cstdint>

namespace cli {

struct Summary {
    std::uint64_t files = 0;
    std::uint64_t changed = 0;
    std::uint64_t unchanged = 0;
    std::uint64_t failed = 0;
    std::uint64_t replacements = 0;
    std::uint64_t cellsChanged = 0;

    void add(const FileOutcome& outcome);
};

/// "changed", "unchanged" or "failed".
QString statusName(FileOutcome::Status status);

/// The line for one file, without a line end.
/// Text: "changed   PATH (R replacements in C cells)", "unchanged PATH",
/// "failed    PATH: REASON".
/// JSON: {"path":…,"status":…,"replacements":R,"cellsChanged":C,"reason":… or null}.
QString fileLine(ReportFormat format, const QString& path, const FileOutcome& outcome);

/// The closing line, without a line end.
/// Text: "N files: a changed, b unchanged, c failed; R replacements in C cells", after
/// "Dry run, nothing written: " for a dry run.
/// JSON: {"summary":{"files":N,…,"dryRun":true|false}}.
QString summaryLine(ReportFormat format, const Summary& summary, bool dryRun);

/// The line of one listed cell, without a line end. With listing (a search), the text as it is;
/// otherwise before and after.
/// Text: "PATH:SHEET!A1: before → after" ("PATH:SHEET!A1: text" when listing); a table's header
/// cell reads "A1 (table header)" and a table's column formula "C2:C9 (table formula)". Each
/// text is shown on one line (see lineText).
/// JSON: {"path":…,"sheet":…,"cell":"A1","kind":"cell"|"tableHeader"|"tableFormula",
/// "before":…,"after":…}, texts whole.
QString cellLine(ReportFormat format, const QString& path, const engine::CellChange& cell,
                 bool listing);

/// A cell text fit for one line of a terminal: a line break (CR LF, LF or CR) becomes "↵",
/// any other control character "�" (a cell could otherwise drive the terminal), and a text
/// longer than maxCharacters keeps its beginning and end around "…".
QString lineText(const QString& text, qsizetype maxCharacters = 60);

/// Counts of a search-only run (--list).
struct ListSummary {
    std::uint64_t files = 0;
    std::uint64_t matched = 0; ///< files with some cell found
    std::uint64_t unmatched = 0;
    std::uint64_t failed = 0;
    std::uint64_t cells = 0;

    void add(const FileOutcome& outcome);
    /// The exit status: kExitListFailed when a file failed, else kExitListMatched when some cell
    /// matched, else kExitListNoMatch.
    int exitStatus() const;
};

/// The line for one file of a search, without a line end.
/// Text: "found     PATH (N cells)", "none      PATH", "failed    PATH: REASON".
/// JSON: {"path":…,"status":"found"|"none"|"failed","cells":N,"code":… or null,"reason":… or
/// null}, code and reason as in fileLine.
QString listFileLine(ReportFormat format, const QString& path, const FileOutcome& outcome);

/// The closing line of a search, without a line end.
/// Text: "Search only, nothing written: N files: a with matches, b without, c failed; C cells
/// found". JSON: {"summary":{"files":N,"matched":a,"unmatched":b,"failed":c,"cells":C,
/// "list":true}}.
QString listSummaryLine(ReportFormat format, const ListSummary& summary);

/// The JSON report's line for a folder of the scan that could not be read, so that a reader of
/// the report knows the run did not see its files.
QString skippedFolderLine(const QString& folder);

/// A JSON string literal of text (quotes included), escaping what RFC 8259 requires.
QString jsonString(const QString& text);

/// "[#####-----] finished/total files" fitting in width columns (at least the counts).
QString progressBar(std::size_t finished, std::size_t total, int width);

} // namespace cli
