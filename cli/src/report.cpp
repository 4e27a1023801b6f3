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
