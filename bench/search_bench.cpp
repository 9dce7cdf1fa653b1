// Find as you type over a large collection shaped like a real one: the filter of the
// window (offscreen) is given a few words letter by letter, and each keystroke is timed
// to the model update that shows its matches, painted. Also the index's size and build time
// beside the tree's, and the longest time the window thread did not answer while typing.
//
//   search_bench [--dir DIR] [TRACKS...]   (default 100000; 10 tracks a folder)

#include "core/collection/SearchIndex.h"
#include "core/config/Configuration.h"
#include "core/session/Session.h"

#include "gui/app/TMainForm.h"
#include "gui/collection/CollectionFilter.h"
#include "gui/common/ErrorBox.h"

#include "BenchSupport.h"

#include "RealisticCollection.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace cantorel;
namespace fsys = std::filesystem;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void run(const fsys::path& base, int tracks)
{
    const fsys::path root = base / std::to_string(tracks);
    bench::generateRealistic(root, tracks);
    Configuration config = Configuration::defaults(fsys::current_path().string() + "/");
    config.Settings.MP3RootDir = root.string() + "/";
    config.Settings.ProbeCache = false;
    Session alone(config, SessionOptions{"", false, "", std::string()});
    const double tree = bench::seconds([&] { alone.build(); });
    Session session(config, SessionOptions{"", false, "", std::string()});
    TMainForm form(session, std::make_shared<ErrorBox>());
    const double start = bench::seconds([&] { form.InitialFill(nullptr); });
    double indexing = 1e9; // the best of three, each from nothing (no word spelled yet)
    std::unique_ptr<SearchIndex> index;
    for (int round = 0; round < 3; ++round) {
        index = std::make_unique<SearchIndex>(true);
        indexing = std::min(indexing, bench::seconds([&] { index->build(session.tree(), session.settings().ansi()); }));
    }
    std::printf("%d tracks in %d folders: %s\n", tracks, (tracks + 9) / 10, bench::RealisticShape);
    std::printf("  tree build                     %7.0f ms\n", tree * 1000);
    std::printf("  index build (best of three)    %7.0f ms (%.0f %% of the tree's build)\n", indexing * 1000,
                100 * indexing / tree);
    std::printf("  window start (the tree)        %7.0f ms (the index is built after it, once idle)\n", start * 1000);
    std::printf("  index size                     %7.1f bytes a track (%zu nodes, %.1f MB)\n",
                double(index->bytes()) / tracks, index->nodes(), index->bytes() / 1048576.0);

    // The window thread's longest silence while typing, seen by a 1 ms timer.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, longestGap = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    form.show();
    QCoreApplication::processEvents();
    form.filter()->open();
    std::vector<double> latencies;
    for (const char* word : {"morning", "кровь", "tokyo", "kino", "ode"}) {
        const QString text = QString::fromUtf8(word);
        std::string line;
        for (int n = 1; n <= text.size(); ++n) {
            QEventLoop loop;
            int matches = 0;
            const auto c = QObject::connect(form.filter(), &CollectionFilter::applied, &loop, [&](int m) {
                matches = m;
                loop.quit();
            });
            heartbeat.start(1);
            lastTick = clock.elapsed();
            QElapsedTimer keystroke;
            keystroke.start();
            form.filter()->field()->setText(text.left(n));
            loop.exec();
            form.treeView()->viewport()->repaint(); // laid out and painted
            latencies.push_back(keystroke.nsecsElapsed() / 1e6);
            heartbeat.stop();
            QObject::disconnect(c);
            line += " " + text.left(n).toStdString() + ":" + std::to_string(int(latencies.back())) + "ms/" +
                    std::to_string(matches);
        }
        std::printf("  typed%s\n", line.c_str());
        form.filter()->field()->clear();
    }
    std::printf("  keystroke to the tree showing its matches: median %.1f ms, worst %.1f ms (%zu keystrokes)\n",
                median(latencies), *std::max_element(latencies.begin(), latencies.end()), latencies.size());
    std::printf("  longest the window thread did not answer while typing: %lld ms\n", (long long)longestGap);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const bench::Arguments args = bench::parseArguments(argc, argv, "cantorel-search-bench", {100000});
    for (const int tracks : args.sizes)
        run(args.base, tracks);
    return 0;
}
