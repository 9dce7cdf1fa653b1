// The window of a large collection: how soon it is visible with a valid probe cache and
// tree snapshot (warm, and cold when the page cache can be dropped), how long the reading
// behind it takes, how soon a change on disk shows in the tree, and the peak memory a
// track; each beside its floor from the same run. Runs offscreen.
//
//   start_bench [--dir DIR] [TRACKS...]   (default 100000; 1000000 uses sparse tracks)

#include "core/collection/SearchIndex.h"
#include "core/collection/TreeSnapshot.h"
#include "core/config/Configuration.h"
#include "core/platform/HeapArenas.h"
#include "core/session/Session.h"

#include "gui/app/TMainForm.h"
#include "gui/collection/CollectionModel.h"
#include "gui/collection/LiveCollection.h"
#include "gui/common/ErrorBox.h"

#include "BenchSupport.h"

#include "RealisticCollection.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace cantorel;
namespace fsys = std::filesystem;

namespace {

// Folders of ten sparse tracks (a size, no blocks): the shape of a very large
// collection's tree, without its disk space.
void generateSparse(const fsys::path& root, int tracks)
{
    if (fsys::exists(root / ".complete"))
        return;
    std::printf("generating %d sparse tracks in %s ...\n", tracks, root.c_str());
    fsys::remove_all(root);
    for (int d = 0; d * 10 < tracks; ++d) {
        const fsys::path dir = root / ("Artist " + std::to_string(d / 20)) / ("Album " + std::to_string(d));
        fsys::create_directories(dir);
        for (int t = 0; t < 10; ++t) {
            const fsys::path file = dir / ("Track " + std::to_string(t + 1) + ".mp3");
            std::ofstream(file).close();
            fsys::resize_file(file, 4'000'000);
        }
    }
    bench::writeFile(root / ".complete", "");
}

long peakKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long currentKb()
{
    std::ifstream status("/proc/self/statm");
    long pages = 0, resident = 0;
    status >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

bool waitFor(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

Configuration configFor(const fsys::path& root)
{
    Configuration config = Configuration::defaults(fsys::current_path().string() + "/");
    config.Settings.MP3RootDir = root.string() + "/";
    return config;
}

const SessionOptions Options{"", true, "", std::string(), true};

// Session, window, the tree shown, painted: as the program starts with a snapshot.
double windowVisible(const Configuration& config, std::unique_ptr<Session>& session, std::unique_ptr<TMainForm>& form)
{
    QElapsedTimer clock;
    clock.start();
    session = std::make_unique<Session>(config, Options);
    const bool known = session->loadSnapshot();
    form = std::make_unique<TMainForm>(*session, std::make_shared<ErrorBox>());
    if (!form->setupError().isEmpty()) {
        // The program stops here too (no decoder library beside the benchmark, for one).
        std::fprintf(stderr, "start_bench: %s\n", form->setupError().toLocal8Bit().constData());
        std::exit(1);
    }
    if (known)
        form->showKnownTree();
    else
        form->InitialFill(nullptr);
    form->show();
    form->repaint();
    QCoreApplication::processEvents();
    return clock.nsecsElapsed() / 1e9;
}

void run(const fsys::path& base, int tracks)
{
    const bool sparse = tracks > 200000;
    const fsys::path root = base / ((sparse ? "sparse-" : "") + std::to_string(tracks));
    if (sparse)
        generateSparse(root, tracks);
    else
        bench::generateRealistic(root, tracks);
    const Configuration config = configFor(root);
    std::printf("%d tracks in %d folders: %s\n", tracks, (tracks + 9) / 10,
                sparse ? "sparse 4 MB files without tags (the tree's shape only)" : bench::RealisticShape);

    // Floor: the same window on an empty collection.
    const fsys::path empty = base / "empty";
    fsys::create_directories(empty);
    double floor = 1e9;
    for (int round = 0; round < 3; ++round) {
        std::unique_ptr<Session> s;
        std::unique_ptr<TMainForm> f;
        floor = std::min(floor, windowVisible(configFor(empty), s, f));
    }
    {
        // A first run: fills the probe cache and leaves the snapshot.
        Session first(config, Options);
        const double built = bench::seconds([&] { first.build(); });
        if (!first.saveSnapshot())
            std::printf("  the snapshot could not be written\n");
        std::printf("  first start (no cache)   %7.3f s to the tree\n", built);
    }
    const long base0 = currentKb();
    double warm = 1e9, scanned = 0;
    for (int round = 0; round < 3; ++round) {
        std::unique_ptr<Session> session;
        std::unique_ptr<TMainForm> form;
        warm = std::min(warm, windowVisible(config, session, form));
        scanned = bench::seconds([&] { waitFor([&] { return !form->live()->scanning(); }, 600000); });
    }
    std::printf("  window visible, warm     %7.3f s   empty window           %7.3f s\n", warm, floor);
    std::printf("  reading behind it        %7.3f s after the window showed\n", scanned);
    if (bench::dropPageCache()) {
        std::unique_ptr<Session> session;
        std::unique_ptr<TMainForm> form;
        const double cold = windowVisible(config, session, form);
        waitFor([&] { return !form->live()->scanning(); }, 600000);
        bench::dropPageCache();
        std::unique_ptr<Session> s2;
        std::unique_ptr<TMainForm> f2;
        const double coldFloor = windowVisible(configFor(empty), s2, f2);
        std::printf("  window visible, cold     %7.3f s   empty window, cold     %7.3f s\n", cold, coldFloor);
    } else {
        std::printf("  cold run skipped: the page cache cannot be dropped (needs root)\n");
    }

    // A change on disk to the tree showing it, watched.
    std::unique_ptr<Session> session;
    std::unique_ptr<TMainForm> form;
    windowVisible(config, session, form);
    waitFor([&] { return !form->live()->scanning(); }, 600000);
    const auto shows = [&](const std::string& name) {
        for (NodeId n = session->tree().firstTopLevel(); n != NoNode; n = session->tree().nextSibling(n))
            if (session->tree().caption(n) == name)
                return true;
        return false;
    };
    // Five changes of each kind, each seen and then taken away again before the next: a
    // folder with a track made at the root (the root's own entries are read again), and a
    // track added to an album deep in the tree (that album alone is read).
    const fsys::path album = [&] {
        fsys::path deepest = root;
        while (true) {
            fsys::path next;
            for (const auto& entry : fsys::directory_iterator(deepest))
                if (entry.is_directory() && (next.empty() || entry.path() < next))
                    next = entry.path();
            if (next.empty())
                return deepest;
            deepest = next;
        }
    }();
    const auto tracksIn = [&](const fsys::path& folder) {
        for (const NodeId n : session->tree().Nodes)
            if (session->tree().record(n) && session->tree().record(n)->Path == folder.string())
                return session->tree().childCount(n);
        return -1;
    };
    const int albumTracks = tracksIn(album);
    std::vector<double> latencies, albumLatencies;
    bool allSeen = true;
    const std::string frame = std::string("\xFF\xFB\x90\x44", 4) + std::string(4000, '\0');
    for (int round = 0; round < 5; ++round) {
        const std::string name = "Zz added " + std::to_string(::getpid()) + "." + std::to_string(round);
        QElapsedTimer change;
        change.start();
        fsys::create_directories(root / name);
        bench::writeFile(root / name / "new.mp3", frame);
        allSeen = waitFor([&] { return shows(name); }, 60000) && allSeen;
        latencies.push_back(change.nsecsElapsed() / 1e9);
        fsys::remove_all(root / name);
        waitFor([&] { return !shows(name) && !form->live()->scanning(); }, 60000);

        change.restart();
        bench::writeFile(album / (name + ".mp3"), frame);
        allSeen = waitFor([&] { return tracksIn(album) == albumTracks + 1; }, 60000) && allSeen;
        albumLatencies.push_back(change.nsecsElapsed() / 1e9);
        fsys::remove(album / (name + ".mp3"));
        waitFor([&] { return tracksIn(album) == albumTracks && !form->live()->scanning(); }, 60000);
    }
    std::sort(albumLatencies.begin(), albumLatencies.end());
    std::sort(latencies.begin(), latencies.end());
    // What a reading behind the window does (no snapshot read): the cached build.
    const double rescan = bench::seconds([&] {
        Session again(config, SessionOptions{"", true, "", std::string(), false});
        again.build();
    });
    std::printf("  change on disk to tree   %7.3f s median, %.3f s worst of 5%s: a folder made at the root (the "
                "root's own entries read); quiet wait %.3f s\n",
                latencies[2], latencies.back(), allSeen ? "" : " (NOT ALL SEEN)", LiveCollection::QuietMs / 1000.0);
    std::printf("  change on disk to tree   %7.3f s median, %.3f s worst of 5: a track added to an album (the album "
                "alone read)\n",
                albumLatencies[2], albumLatencies.back());
    std::printf("  a whole reading, cached  %7.3f s (a sweep, F5, or what no event told of)\n", rescan);
    form.reset();
    session.reset();
    (void)base0;
    // The memory of a start alone, in a process of its own.
    const std::string command =
        "'" + fsys::read_symlink("/proc/self/exe").string() + "' --memory '" + root.string() + "'";
    std::fflush(stdout);
    if (std::system(command.c_str()) != 0)
        std::printf("  the memory run failed\n");
}

// A start with a valid cache and snapshot, the reading behind the window to its end, the
// search index built after it, and the snapshot saved as the program does when it ends: the peak memory above the same
// process with the empty window shown.
int memoryRun(const fsys::path& root, const fsys::path& empty)
{
    long base = 0;
    {
        std::unique_ptr<Session> s;
        std::unique_ptr<TMainForm> f;
        windowVisible(configFor(empty), s, f);
        base = peakKb();
    }
    std::unique_ptr<Session> session;
    std::unique_ptr<TMainForm> form;
    windowVisible(configFor(root), session, form);
    const long shown = peakKb();
    // The reading's end, and the search index the window builds after it.
    waitFor([&] { return !form->live()->scanning() && session->searchIndexAsItIs().nodes() > 0; }, 600000);
    if (const Result<> saved = session->saveSnapshot(); !saved)
        std::printf("  the snapshot was not saved: %s\n", saved.error().c_str());
    long tracks = 0;
    for (const NodeId n : session->tree().Nodes)
        tracks += session->tree().kind(n) == KindTrack;
    const long peak = peakKb();
    std::printf("  peak memory              %7.0f bytes a track above the base (%ld MB peak, %ld MB base); "
                "%.0f bytes a track when the window showed, before the reading\n",
                (peak - base) * 1024.0 / double(std::max(tracks, 1L)), peak / 1024, base / 1024,
                (shown - base) * 1024.0 / double(std::max(tracks, 1L)));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    heap::limitArenas(2); // as the program's main does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A cache folder of the benchmark's own: the user's is not touched.
    const bool memory = argc == 3 && std::string(argv[1]) == "--memory";
    const bench::Arguments args = memory ? bench::Arguments{fsys::path(argv[2]).parent_path(), {}}
                                         : bench::parseArguments(argc, argv, "cantorel-start-bench", {100000});
    fsys::create_directories(args.base / "xdg-cache");
    ::setenv("XDG_CACHE_HOME", (args.base / "xdg-cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (args.base / "xdg-state").c_str(), 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    if (argc == 3 && std::string(argv[1]) == "--memory")
        return memoryRun(argv[2], fsys::path(argv[2]).parent_path() / "empty");
    for (const int tracks : args.sizes)
        run(args.base, tracks);
    return 0;
}
