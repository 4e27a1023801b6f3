// The sets file: one set per line, find text, separator, replace text. Splitting a line,
// parsing a whole text into the set list, writing the list, and the one-call load for the
// command line. No widgets and no questions to the user here.
#pragma once

#include "sets/set_list.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

namespace sets {

/// The separator Save Sets writes and the Load Sets dialog proposes.
inline const QString kDefaultSeparator = QStringLiteral("::");

/// The longest find or replace text a set may have: the most characters a cell can hold, so
/// a longer find text could never be found and a longer replace text never be stored.
inline constexpr qsizetype kMaxSetTextLength = 32767;

/// Splits text at every occurrence of separator, left to right without overlap; the find
/// text is the piece before the first occurrence, the replace text the piece after it up to
/// the second occurrence or the end. Further pieces are dropped; nothing is trimmed. Nothing
/// when separator is empty or does not occur (exact, case-sensitive).
std::optional<Set> SplitSet(QStringView text, QStringView separator);

/// What ParseSetsText did.
struct ParseOutcome {
    enum class Status {
        /// Every set of the text was appended.
        Loaded,
        /// The list filled up: the sets before `line` were appended, that line's set and
        /// every later one were not.
        ListFull,
        /// The set on `line` has a text longer than kMaxSetTextLength: nothing was appended.
        TextTooLong,
    };
    Status status = Status::Loaded;
    int added = 0;
    /// 1-based line number for ListFull and TextTooLong, 0 otherwise.
    qsizetype line = 0;
};

/// Appends to sets every set found in text, in line order, after the sets already there.
/// Every CR is deleted, lines are split at LF; empty lines and lines without the separator
/// are skipped; each other line is split with SplitSet. An empty separator finds no set.
ParseOutcome ParseSetsText(const QString& text, const QString& separator, SetList& sets);

/// Writes the sets, one line each, as find text, "::", replace text and CR LF, in UTF-8
/// without a byte-order mark; an empty list gives a file of zero bytes. The text goes to a new
/// file beside path that is then renamed over it, so a failed write leaves any file already
/// at path as it was. Asks nothing (the overwrite question is the caller's). Returns an empty
/// text on success, otherwise one sentence naming the path and the reason.
QString SaveSetsFile(const QString& path, const std::vector<Set>& sets);

/// The sets of a file, or why they could not be had.
struct LoadedSets {
    std::vector<Set> sets;
    /// Empty on success; otherwise one sentence naming the path and the reason.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

/// Reads the file at path with ReadTextFile and parses it with ParseSetsText into an empty
/// list, exactly as the Load Sets dialog does. Fails when the separator is empty, the file
/// cannot be read, a text is too long, or the file holds more sets than a list can.
LoadedSets LoadSetsFile(const QString& path, const QString& separator);

/// The user-facing sentences shared by the dialog and the command line.
QString listFullMessage();
QString textTooLongMessage(const QString& path, qsizetype line);

} // namespace sets
