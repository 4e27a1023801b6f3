// Splitting, parsing, writing and loading sets files.
#include "sets/sets_file.h"

#include "sets/text_file.h"

#include <QSaveFile>
#include <QStringEncoder>
#include <utility>

namespace sets {
namespace {

struct PendingSet {
    QStringView find;
    QStringView replace;
};

std::optional<PendingSet> splitView(QStringView text, QStringView separator) {
    if (separator.isEmpty()) {
        return std::nullopt;
    }
    const qsizetype first = text.indexOf(separator);
    if (first < 0) {
        return std::nullopt;
    }
    const QStringView rest = text.sliced(first + separator.size());
    const qsizetype second = rest.indexOf(separator);
    return PendingSet{text.first(first), second < 0 ? rest : rest.first(second)};
}

QString writeError(const QString& path, const QString& reason) {
    return QStringLiteral("The sets could not be saved to ") + path + QStringLiteral(": ") +
           reason + u'.';
}

} // namespace

std::optional<Set> SplitSet(QStringView text, QStringView separator) {
    const std::optional<PendingSet> pieces = splitView(text, separator);
    if (!pieces) {
        return std::nullopt;
    }
    return Set{pieces->find.toString(), pieces->replace.toString()};
}

ParseOutcome ParseSetsText(const QString& text, const QString& separator, SetList& sets) {
    QString cleaned = text;
    cleaned.remove(u'\r');

    // Sets are gathered first and appended only once the text has proved sound, so that a
    // refused text leaves the list as it was.
    std::vector<PendingSet> pending;
    ParseOutcome outcome;
    const int room = sets.room();
    qsizetype lineNumber = 0;
    for (const QStringView line : QStringView(cleaned).tokenize(u'\n')) {
        ++lineNumber;
        if (line.isEmpty()) {
            continue;
        }
        const std::optional<PendingSet> pieces = splitView(line, separator);
        if (!pieces) {
            continue;
        }
        if (pieces->find.size() > kMaxSetTextLength || pieces->replace.size() > kMaxSetTextLength) {
            return ParseOutcome{ParseOutcome::Status::TextTooLong, 0, lineNumber};
        }
        if (std::cmp_greater_equal(pending.size(), room)) {
            outcome = ParseOutcome{ParseOutcome::Status::ListFull, 0, lineNumber};
            break;
        }
        pending.push_back(*pieces);
    }
    for (const PendingSet& set : pending) {
        sets.append(set.find.toString(), set.replace.toString());
    }
    outcome.added = static_cast<int>(pending.size());
    return outcome;
}

QString SaveSetsFile(const QString& path, const std::vector<Set>& sets) {
    QSaveFile file(path);
    // Writing in place would leave a truncated file behind a failed write.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        return writeError(path, file.errorString());
    }
    QStringEncoder utf8(QStringEncoder::Utf8);
    QString line;
    for (const Set& set : sets) {
        line.clear();
        line.append(set.find).append(kDefaultSeparator).append(set.replace).append(u"\r\n");
        const QByteArray bytes = utf8.encode(line);
        if (file.write(bytes) != bytes.size()) {
            const QString reason = file.errorString();
            file.cancelWriting();
            return writeError(path, reason);
        }
    }
    if (!file.commit()) {
        return writeError(path, file.errorString());
    }
    return {};
}

LoadedSets LoadSetsFile(const QString& path, const QString& separator) {
    if (separator.isEmpty()) {
        return {{}, QStringLiteral("The separator between find text and replace text is empty.")};
    }
    TextFileContent content = ReadTextFile(path);
    if (!content.ok()) {
        return {{}, content.error};
    }
    SetList list;
    const ParseOutcome outcome = ParseSetsText(content.text, separator, list);
    switch (outcome.status) {
    case ParseOutcome::Status::Loaded:
        break;
    case ParseOutcome::Status::TextTooLong:
        return {{}, textTooLongMessage(path, outcome.line)};
    case ParseOutcome::Status::ListFull:
        return {{},
                path + QStringLiteral(" holds more sets than one run can use: the set on line ") +
                    QString::number(outcome.line) +
                    QStringLiteral(" would be number 32,768, and at most 32,767 can be used.")};
    }
    return {list.sets(), {}};
}

QString listFullMessage() {
    return QStringLiteral("The list of sets is full: it holds 32,767 sets, the most it can hold.");
}

QString textTooLongMessage(const QString& path, qsizetype line) {
    return QStringLiteral("No set was loaded: line ") + QString::number(line) +
           QStringLiteral(" of ") + path +
           QStringLiteral(" holds a find or replace text longer than 32,767 characters, the "
                          "most a cell can hold.");
}

} // namespace sets
