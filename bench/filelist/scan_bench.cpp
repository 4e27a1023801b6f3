// Times the whole-tree scan of "Add All Excel File(s) In Folder" without the window: the
// folder list, every folder's matching files and the full paths, as the command line runs it.
// Usage: filelist_scan_bench FOLDER [EXTENSION [RUNS]]; prints the file count and the fastest
// and median run in milliseconds.
#include "filelist/folder_scan.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: filelist_scan_bench FOLDER [EXTENSION [RUNS]]\n");
        return 2;
    }
    const QString& folder = args.at(1);
    const QString extension = args.size() > 2 ? args.at(2) : QStringLiteral("*");
    const int runs = args.size() > 3 ? std::max(1, args.at(3).toInt()) : 5;

    std::vector<double> times;
    qsizetype count = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QStringList files = filelist::scanFolderFiles(folder, extension);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        count = files.size();
    }
    std::sort(times.begin(), times.end());
    std::printf("files %lld fastest_ms %.1f median_ms %.1f\n", static_cast<long long>(count),
                times.front(), times[times.size() / 2]);
    return 0;
}
