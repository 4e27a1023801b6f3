// Loading sets files: ReadTextFile, then ParseSetsText into a bare SetList, and into the set
// list of a real sets page whose two drop-down lists show it, opening one of them (offscreen).
// Prints the fastest and the median of several runs for each file given on the command line.
#include "sets/set_list.h"
#include "sets/sets_file.h"
#include "sets/sets_page.h"
#include "sets/text_file.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kRuns = 7;

struct Timing {
    double fastest = 0;
    double median = 0;
};

Timing measure(const std::function<void()>& work) {
    std::vector<double> ms;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
}

int benchFile(const QString& path) {
    const sets::TextFileContent content = sets::ReadTextFile(path);
    if (!content.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(content.error));
        return 1;
    }
    const qsizetype lines = content.text.count(u'\n');
    int sets = 0;

    const Timing read = measure([&] { (void)sets::ReadTextFile(path); });
    const Timing parse = measure([&] {
        sets::SetList list;
        sets = sets::ParseSetsText(content.text, sets::kDefaultSeparator, list).added;
    });
    // The dialog's whole Load: read, parse, append to the lists the page shows, then open the
    // find list once.
    const Timing page = measure([&] {
        QWidget window;
        const sets::SetsPageControls controls = sets::createSetsPage(window);
        window.show();
        const sets::TextFileContent text = sets::ReadTextFile(path);
        sets::ParseSetsText(text.text, sets::kDefaultSeparator, sets::setListOf(controls));
        // Opening the drop-down list lays out its items: it must not stall on a full list.
        controls.findList->setCurrentIndex(sets - 1);
        controls.findList->showPopup();
        QApplication::processEvents();
        controls.findList->hidePopup();
        if (controls.replaceList->count() != sets) {
            std::fprintf(stderr, "the page's lists hold %d sets, not %d\n",
                         controls.replaceList->count(), sets);
        }
    });
    std::printf("%-28s %9lld bytes %7lld lines %6d sets | read %7.1f ms (median %7.1f) | "
                "parse %7.1f ms (%7.1f) | load into the page, open list %7.1f ms (%7.1f)\n",
                qPrintable(QFileInfo(path).fileName()),
                static_cast<long long>(QFileInfo(path).size()), static_cast<long long>(lines), sets,
                read.fastest, read.median, parse.fastest, parse.median, page.fastest, page.median);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: sets_load_bench FILE...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        status |= benchFile(QString::fromLocal8Bit(argv[i]));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return status;
}
