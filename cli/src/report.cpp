// Report lines and the progress bar: pure text functions, so tests see exactly what a user sees.
#include "cli/report.h"

namespace cli {

void Summary::add(const FileOutcome& outcome) {
    ++files;
    switch (outcome.status) {
    case FileOutcome::Status::Changed:
        ++changed;
        break;
    case FileOutcome::Status::Unchanged:
        ++unchanged;
        break;
    case FileOutcome::Status::Failed:
        ++failed;
        break;
    }
    replacements += outcome.replacements;
    cellsChanged += outcome.cellsChanged;
}

QString statusName(FileOutcome::Status status) {
    switch (status) {
    case FileOutcome::Status::Changed:
        return QStringLiteral("changed");
    case FileOutcome::Status::Unchanged:
        return QStringLiteral("unchanged");
    case FileOutcome::Status::Failed:
        return QStringLiteral("failed");
    }
    return {};
}

namespace {

QString plural(std::uint64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

} // namespace

QString fileLine(ReportFormat format, const QString& path, const FileOutcome& outcome) {
    if (format == ReportFormat::Json) {
        const bool failed = outcome.status == FileOutcome::Status::Failed;
        const QString code = failed ? jsonString(outcome.code) : QStringLiteral("null");
        const QString reason = failed ? jsonString(outcome.reason) : QStringLiteral("null");
        return QStringLiteral(R"({"path":%1,"status":"%2","replacements":%3,"cellsChanged":%4,)"
                              R"("code":%5,"reason":%6})")
            .arg(jsonString(path), statusName(outcome.status))
            .arg(outcome.replacements)
            .arg(outcome.cellsChanged)
            .arg(code, reason);
    }
    const QString status = statusName(outcome.status).leftJustified(9);
    switch (outcome.status) {
    case FileOutcome::Status::Changed:
        return QStringLiteral("%1 %2 (%3 in %4)")
            .arg(status, path, plural(outcome.replacements, "replacement", "replacements"),
                 plural(outcome.cellsChanged, "cell", "cells"));
    case FileOutcome::Status::Unchanged:
        return status + QLatin1Char(' ') + path;
    case FileOutcome::Status::Failed:
        return QStringLiteral("%1 %2: %3").arg(status, path, outcome.reason);
    }
    return {};
}

QString summaryLine(ReportFormat format, const Summary& summary, bool dryRun) {
    if (format == ReportFormat::Json) {
        return QStringLiteral(R"({"summary":{"files":%1,"changed":%2,"unchanged":%3,"failed":%4,)"
                              R"("replacements":%5,"cellsChanged":%6,"dryRun":%7}})")
            .arg(summary.files)
            .arg(summary.changed)
            .arg(summary.unchanged)
            .arg(summary.failed)
            .arg(summary.replacements)
            .arg(summary.cellsChanged)
            .arg(dryRun ? QStringLiteral("true") : QStringLiteral("false"));
    }
    QString line = QStringLiteral("%1: %2 changed, %3 unchanged, %4 failed; %5 in %6")
                       .arg(plural(summary.files, "file", "files"))
                       .arg(summary.changed)
                       .arg(summary.unchanged)
                       .arg(summary.failed)
                       .arg(plural(summary.replacements, "replacement", "replacements"),
                            plural(summary.cellsChanged, "cell", "cells"));
    if (dryRun) {
        line.prepend(QStringLiteral("Dry run, nothing written: "));
    }
    return line;
}

QString lineText(const QString& text, qsizetype maxCharacters) {
    // Code points, not UTF-16 units, so that "…" never splits a character.
    QList<char32_t> points;
    points.reserve(text.size());
    const QList<uint> all = text.toUcs4();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const auto c = static_cast<char32_t>(all[i]);
        if (c == U'\r' || c == U'\n') {
            if (c == U'\r' && i + 1 < all.size() && all[i + 1] == U'\n') {
                ++i;
            }
            points.push_back(U'↵');
        } else if ((c < 0x20 && c != U'\t') || c == 0x7f || (c >= 0x80 && c < 0xa0)) {
            points.push_back(U'\uFFFD');
        } else {
            points.push_back(c);
        }
    }
    if (points.size() > maxCharacters && maxCharacters >= 3) {
        const qsizetype head = (maxCharacters - 1) / 2;
        const qsizetype tail = maxCharacters - 1 - head;
        QList<char32_t> kept = points.first(head);
        kept.push_back(U'…');
        kept.append(points.last(tail));
        points = std::move(kept);
    }
    return QString::fromUcs4(points.constData(), points.size());
}

namespace {

const char* kindName(engine::CellKind kind) {
    switch (kind) {
    case engine::CellKind::Cell:
        return "cell";
    case engine::CellKind::TableHeader:
        return "tableHeader";
    case engine::CellKind::TableFormula:
        return "tableFormula";
    }
    return "cell";
}

} // namespace

QString cellLine(ReportFormat format, const QString& path, const engine::CellChange& cell,
                 bool listing) {
    const QString sheet = QString::fromStdString(cell.sheet);
    const QString address = QString::fromStdString(cell.cell);
    const QString before = QString::fromStdString(cell.before);
    const QString after = QString::fromStdString(cell.after);
    if (format == ReportFormat::Json) {
        return QStringLiteral(R"({"path":%1,"sheet":%2,"cell":%3,"kind":"%4","before":%5,)"
                              R"("after":%6})")
            .arg(jsonString(path), jsonString(sheet), jsonString(address),
                 QLatin1String(kindName(cell.kind)), jsonString(before), jsonString(after));
    }
    QString where = path + QLatin1Char(':') + sheet + QLatin1Char('!') + address;
    if (cell.kind == engine::CellKind::TableHeader) {
        where += QStringLiteral(" (table header)");
    } else if (cell.kind == engine::CellKind::TableFormula) {
        where += QStringLiteral(" (table formula)");
    }
    if (listing) {
        return where + QStringLiteral(": ") + lineText(before);
    }
    return where + QStringLiteral(": ") + lineText(before) + QStringLiteral(" → ") +
           lineText(after);
}

void ListSummary::add(const FileOutcome& outcome) {
    ++files;
    switch (outcome.status) {
    case FileOutcome::Status::Changed:
        ++matched;
        break;
    case FileOutcome::Status::Unchanged:
        ++unmatched;
        break;
    case FileOutcome::Status::Failed:
        ++failed;
        break;
    }
    cells += outcome.cellsChanged;
}

int ListSummary::exitStatus() const {
    if (failed > 0) {
        return kExitListFailed;
    }
    return matched > 0 ? kExitListMatched : kExitListNoMatch;
}

QString listFileLine(ReportFormat format, const QString& path, const FileOutcome& outcome) {
    const QString status = outcome.status == FileOutcome::Status::Changed     ? "found"
                           : outcome.status == FileOutcome::Status::Unchanged ? "none"
                                                                              : "failed";
    const bool failed = outcome.status == FileOutcome::Status::Failed;
    if (format == ReportFormat::Json) {
        return QStringLiteral(R"({"path":%1,"status":"%2","cells":%3,"code":%4,"reason":%5})")
            .arg(jsonString(path), status)
            .arg(outcome.cellsChanged)
            .arg(failed ? jsonString(outcome.code) : QStringLiteral("null"),
                 failed ? jsonString(outcome.reason) : QStringLiteral("null"));
    }
    const QString padded = status.leftJustified(9);
    if (failed) {
        return QStringLiteral("%1 %2: %3").arg(padded, path, outcome.reason);
    }
    if (outcome.status == FileOutcome::Status::Unchanged) {
        return padded + QLatin1Char(' ') + path;
    }
    return QStringLiteral("%1 %2 (%3)")
        .arg(padded, path, plural(outcome.cellsChanged, "cell", "cells"));
}

QString listSummaryLine(ReportFormat format, const ListSummary& summary) {
    if (format == ReportFormat::Json) {
        return QStringLiteral(R"({"summary":{"files":%1,"matched":%2,"unmatched":%3,"failed":%4,)"
                              R"("cells":%5,"list":true}})")
            .arg(summary.files)
            .arg(summary.matched)
            .arg(summary.unmatched)
            .arg(summary.failed)
            .arg(summary.cells);
    }
    return QStringLiteral("Search only, nothing written: %1: %2 with matches, %3 without, %4 "
                          "failed; %5 found")
        .arg(plural(summary.files, "file", "files"))
        .arg(summary.matched)
        .arg(summary.unmatched)
        .arg(summary.failed)
        .arg(plural(summary.cells, "cell", "cells"));
}

QString skippedFolderLine(const QString& folder) {
    return QStringLiteral(R"({"skipped":%1,"reason":"the folder cannot be read"})")
        .arg(jsonString(folder));
}

QString jsonString(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20) {
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                out += c;
            }
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString progressBar(std::size_t finished, std::size_t total, int width) {
    // The finished count takes the total's width, so the bar does not shift as it grows.
    const QString totalText = QString::number(total);
    const QString counts =
        QStringLiteral(" %1/%2 files")
            .arg(QString::number(finished).rightJustified(totalText.size()), totalText);
    const qsizetype barWidth = width - counts.size() - 2;
    if (barWidth < 1 || total == 0) {
        return counts.trimmed();
    }
    const auto filled =
        static_cast<qsizetype>(finished * static_cast<std::size_t>(barWidth) / total);
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(barWidth - filled, QLatin1Char('-')) + QLatin1Char(']') + counts;
}

} // namespace cli
