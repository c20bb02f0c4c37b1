// Table discovery over a generated tree of 20,020 folders and 100,100 files
// (2,002 of them tables, in mixed letter case), compared in the same run with
// `find DIR -iname '*.db'`. Usage: bench_discovery [folder]; a folder given
// keeps the tree in <folder>/tree for the next run.
//
// Both are timed warm (the tree was just written), best of five runs.

#include "datasource/TableListView.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

int makeTree(const QString& root) {
    static const char* const kExtensions[] = {".db", ".DB", ".Db", ".dB"};
    int files = 0, tables = 0;
    auto fill = [&](const QString& folder) {
        for (int f = 0; f < 5; ++f) {
            const bool table = files % 50 == 0;
            const QString name = table ? QString("table%1%2").arg(files).arg(kExtensions[tables++ % 4])
                                       : QString("file%1.txt").arg(files);
            QFile(folder + "/" + name).open(QIODevice::WriteOnly);
            ++files;
        }
    };
    QDir dir;
    for (int a = 0; a < 20; ++a)
        for (int b = 0; b < 10; ++b)
            for (int c = 0; c < 100; ++c) {
                const QString folder = c == 0 ? QString("%1/a%2/b%3").arg(root).arg(a).arg(b)
                                              : QString("%1/a%2/b%3/c%4").arg(root).arg(a).arg(b).arg(c);
                dir.mkpath(folder);
                fill(folder);
            }
    return tables;
}

template <class F>
double bestOf(int runs, F&& run) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString root = (argc > 1 ? QString(argv[1]) : scratch.path()) + "/tree";
    int tables = 2000;
    if (!QDir(root).exists()) {
        std::printf("writing the tree under %s ...\n", qPrintable(root));
        tables = makeTree(root);
    }
    std::printf("folders: %d, tables: %d\n", 20 * 10 * 100 + 20, tables);

    platform::RealPlatform real;
    shell::ListView list;
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 5;
    const double ours = bestOf(runs, [&] { datasource::AddTablesToParadoxListbox(list, root, real.platform()); });
    const double find = bestOf(runs, [&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start("find", {root, "-iname", "*.db"});
        p.waitForFinished(-1);
    });
    std::printf("tables listed: %d\n", list.count());
    std::printf("discovery: %.3f s   find: %.3f s   ratio: %.2f\n", ours, find, ours / find);
    return list.count() == tables ? 0 : 1;
}
