// varnocliff-cli: reads the command line, expands the paths, runs the per-file work on the job
// runner and prints the report. The logic lives in varnocliff_cli_logic; this only glues it.
#include "cli/job_runner.h"
#include "cli/options.h"
#include "cli/paths.h"
#include "cli/report.h"
#include "cli/workbook_job.h"
#include "engine/temporary_files.h"
#include "run/automation.h"
#include "run/running_instances.h"
#include "run/stand_in.h"
#include "sets/sets_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Set by the first Ctrl+C (or SIGTERM): files not yet begun are skipped, files being written
// are finished, so no workbook is left half-saved. A second one ends the program at once.
std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int signalNumber) {
    if (g_interrupted.exchange(true)) {
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
    }
}

// The first error of writing the report (a full disk, say); a reader that went away (EPIPE,
// `| head`) is no error: it asked for no more.
int g_reportError = 0;

void noteReportError() {
    if (errno != EPIPE && g_reportError == 0) {
        g_reportError = errno != 0 ? errno : EIO;
    }
}

void print(std::FILE* stream, const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream) !=
        static_cast<std::size_t>(bytes.size())) {
        noteReportError();
    }
}

int terminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// The progress bar on stderr, redrawn at most ten times a second; report lines printed
// while it shows first clear it, so the two never mix on one terminal line.
class ProgressDisplay {
public:
    explicit ProgressDisplay(bool enabled) : m_enabled(enabled) {}

    void update(std::size_t finished, std::size_t total) {
        if (!m_enabled) {
            return;
        }
        m_finished = finished;
        m_total = total;
        const auto now = std::chrono::steady_clock::now();
        if (finished != total && now - m_lastDraw < std::chrono::milliseconds(100)) {
            return;
        }
        m_lastDraw = now;
        draw();
    }

    void printLine(std::FILE* stream, const QString& line) {
        // Only a line for the same terminal has to move the bar out of its way.
        const bool sameTerminal = m_enabled && ::isatty(::fileno(stream)) == 1;
        if (sameTerminal) {
            clear();
        }
        print(stream, line);
        if (sameTerminal) {
            std::fflush(stream);
            if (m_total > 0 && m_finished < m_total) {
                draw();
            }
        }
    }

    void clear() {
        if (m_enabled && m_shown) {
            std::fputs("\r\033[K", stderr);
            m_shown = false;
        }
    }

private:
    void draw() {
        const QByteArray bar =
            "\r" + cli::progressBar(m_finished, m_total, terminalWidth() - 1).toUtf8() + "\033[K";
        std::fwrite(bar.constData(), 1, static_cast<std::size_t>(bar.size()), stderr);
        std::fflush(stderr);
        m_shown = true;
    }

    bool m_enabled;
    bool m_shown = false;
    std::size_t m_finished = 0;
    std::size_t m_total = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

int usageError(const QString& message) {
    print(stderr, QStringLiteral("varnocliff-cli: %1").arg(message));
    print(stderr, QStringLiteral("Try 'varnocliff-cli --help' for more information."));
    return cli::kExitUsage;
}

int runCommandLine(const QStringList& arguments) {
    const cli::ParseResult parsed = cli::parseOptions(arguments, QThread::idealThreadCount());
    if (std::holds_alternative<cli::HelpRequest>(parsed)) {
        std::fputs(cli::helpText().toUtf8().constData(), stdout);
        return cli::kExitOk;
    }
    if (const auto* error = std::get_if<cli::UsageError>(&parsed)) {
        return usageError(error->message);
    }
    const auto& options = std::get<cli::Options>(parsed);

    cli::ReplacePlan plan;
    plan.matchCase = options.matchCase;
    plan.dryRun = options.dryRun;
    plan.wholeCell = options.wholeCell;
    plan.show = options.show;
    plan.list = options.list;
    plan.sets = options.setsFile.has_value();
    if (options.setsFile) {
        const sets::LoadedSets loaded = sets::LoadSetsFile(*options.setsFile, options.separator);
        if (!loaded.ok()) {
            return usageError(QStringLiteral("--sets: %1").arg(loaded.error));
        }
        if (loaded.sets.empty()) {
            return usageError(QStringLiteral("--sets: %1 holds no set with the separator \"%2\"")
                                  .arg(*options.setsFile, options.separator));
        }
        for (const sets::Set& set : loaded.sets) {
            plan.pairs.push_back({set.find.toStdString(), set.replace.toStdString()});
        }
    } else {
        plan.pairs.push_back({options.find.toStdString(), options.replace.toStdString()});
    }

    QStringList unreadable;
    const QStringList files = cli::expandPaths(options.paths, options.extension, &unreadable);
    // A folder the scan could not read hides files the user meant to include: each is named,
    // and the run ends with the status of a failure.
    for (const QString& folder : unreadable) {
        print(stderr,
              QStringLiteral("varnocliff-cli: skipped folder %1: it cannot be read").arg(folder));
        if (options.report == cli::ReportFormat::Json) {
            print(stdout, cli::skippedFolderLine(folder));
        }
    }
    // Temporary files that a killed run left beside the workbooks go before this run writes;
    // a run that writes nothing (a dry run, a search) leaves them too.
    std::set<std::string> folders;
    for (const QString& file : files) {
        folders.insert(QFile::encodeName(QFileInfo(file).absolutePath()).toStdString());
    }
    for (const std::string& folder : folders) {
        if (!options.dryRun && !options.list) {
            engine::removeStaleTemporaryFiles(folder);
        }
    }
    std::vector<std::string> keys;
    keys.reserve(static_cast<std::size_t>(files.size()));
    for (const QString& file : files) {
        keys.push_back(cli::sameFileKey(file));
    }

    // The whole run counts as one running instance for other runs' running check; the
    // stand-in instances made per file therefore join no registry of their own.
    const auto registryEntry =
        run::RegistryEntry::join(run::defaultRegistryFolder(), static_cast<long>(::getpid()),
                                 run::automation::kApplicationName);
    // The jobs go to the files first; what one file at a time leaves over goes to the sheets
    // and blocks of each workbook (all of them when there is one large workbook).
    engine::OpenOptions openOptions;
    const std::size_t filesAtOnce = std::max<std::size_t>(
        1, std::min<std::size_t>(keys.size(), static_cast<std::size_t>(options.jobs)));
    openOptions.jobs = static_cast<unsigned>(
        std::max<std::size_t>(1, static_cast<std::size_t>(options.jobs) / filesAtOnce));
    // The file system's bytes for the suffix, as for the paths.
    openOptions.backupSuffix = QFile::encodeName(options.backupSuffix).toStdString();
    run::StandInFactory factory(run::engineOpener(openOptions), {});

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // A reader that goes away (`| head`) must not kill the run while workbooks are being
    // written; the report is then lost, the work is not.
    std::signal(SIGPIPE, SIG_IGN);
    ProgressDisplay progress(::isatty(STDERR_FILENO) == 1);
    cli::Summary summary;
    cli::ListSummary listSummary;
    cli::RunCallbacks callbacks;
    callbacks.progress = [&progress](std::size_t finished, std::size_t total) {
        progress.update(finished, total);
    };
    callbacks.finishedInOrder = [&](std::size_t index, const cli::FileOutcome& outcome) {
        const QString& path = files[static_cast<qsizetype>(index)];
        summary.add(outcome);
        listSummary.add(outcome);
        for (const engine::CellChange& cell : outcome.cells) {
            progress.printLine(stdout, cli::cellLine(options.report, path, cell, options.list));
        }
        progress.printLine(stdout, options.list ? cli::listFileLine(options.report, path, outcome)
                                                : cli::fileLine(options.report, path, outcome));
        if (outcome.status == cli::FileOutcome::Status::Failed) {
            progress.printLine(stderr,
                               QStringLiteral("varnocliff-cli: %1: %2").arg(path, outcome.reason));
        }
    };
    const auto work = [&](std::size_t index) {
        if (g_interrupted) {
            cli::FileOutcome skipped;
            skipped.status = cli::FileOutcome::Status::Failed;
            skipped.code = QStringLiteral("interrupted");
            skipped.reason = QStringLiteral("not processed: the run was interrupted");
            return skipped;
        }
        return cli::processWorkbook(factory, files[static_cast<qsizetype>(index)], plan);
    };
    cli::runJobs(keys, options.jobs, work, callbacks);
    progress.clear();

    if (options.list) {
        print(stdout, cli::listSummaryLine(options.report, listSummary));
        std::fflush(stdout);
        return listSummary.exitStatus();
    }
    print(stdout, cli::summaryLine(options.report, summary, options.dryRun));
    errno = 0;
    if (std::fflush(stdout) != 0) {
        noteReportError();
    }
    if (g_reportError != 0) {
        std::fprintf(stderr, "varnocliff-cli: the report could not be written: %s\n",
                     std::strerror(g_reportError));
        return cli::kExitSomeFailed;
    }
    if (summary.failed > 0 || !unreadable.isEmpty()) {
        return cli::kExitSomeFailed;
    }
    return cli::kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    const QCoreApplication app(argc, argv);
    if (const auto option = cli::optionWithInvalidUtf8(argc, argv)) {
        return usageError(QStringLiteral("%1: the value is not valid UTF-8 text").arg(*option));
    }
    // Failures of files are outcomes, never exceptions; what arrives here (memory exhausted
    // before the run) ends the program with a message instead of an abort.
    try {
        return runCommandLine(QCoreApplication::arguments().mid(1));
    } catch (const std::exception& error) {
        print(stderr, QStringLiteral("varnocliff-cli: %1").arg(QString::fromUtf8(error.what())));
        return cli::kExitSomeFailed;
    }
}
