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

/// A JSON string literal of text (quotes included), escaping what RFC 8259 requires.
QString jsonString(const QString& text);

/// "[#####-----] finished/total files" fitting in width columns (at least the counts).
QString progressBar(std::size_t finished, std::size_t total, int width);

} // namespace cli
