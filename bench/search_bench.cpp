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

const char* const Artists[] = {"Кино",
                               "Аквариум",
                               "Die Ärzte",
                               "Sigur Rós",
                               "Björk",
                               "Café Tacvba",
                               "坂本龍一",
                               "Μάνος Χατζιδάκις",
                               "Nina Simone",
                               "Miles Davis",
                               "きゃりーぱみゅぱみゅ",
                               "Ólafur Arnalds"};
const char* const Words[] = {"light",    "morning", "кровь",   "звезда", "river", "東京",   "さくら", "noche",
                             "café",     "ωδή",     "silence", "winter", "песня", "garden", "blue",   "último",
                             "midnight", "город",   "dream",   "fire",   "ocean", "вечер",  "paris",  "tokyo"};

std::string frame(const char* id, const std::string& text)
{
    const std::string body = std::string(1, '\x03') + text; // UTF-8
    const std::size_t n = body.size();
    std::string f = id;
    f += static_cast<char>((n >> 21) & 0x7F);
    f += static_cast<char>((n >> 14) & 0x7F);
    f += static_cast<char>((n >> 7) & 0x7F);
    f += static_cast<char>(n & 0x7F);
    return f + std::string(2, '\0') + body;
}

// An ID3v2.4 tag of several text frames, padding, on some tracks a cover; an MPEG frame
// header and silence; an ID3v1 block on most.
std::string track(int d, int t, const std::string& title, const std::string& artist, const std::string& album)
{
    std::string frames = frame("TIT2", title) + frame("TPE1", artist) + frame("TALB", album) +
                         frame("TRCK", std::to_string(t + 1) + "/10") + frame("TDRC", std::to_string(1970 + d % 50));
    if (d % 3 == 0)
        frames += frame("TPE2", artist);
    if ((d * 10 + t) % 9 == 0)
        frames += "APIC" + std::string("\x00\x00\xA0\x00\x00\x00", 6) + std::string(1, '\0') + "image/jpeg" +
                  std::string(1, '\0') + "\x03" + std::string(1, '\0') + std::string(20480 - 14, '\xAA');
    frames += std::string(static_cast<std::size_t>((d * 37 + t * 11) % 2048), '\0'); // padding
    const std::size_t n = frames.size();
    std::string tag = "ID3\x04";
    tag += std::string(2, '\0');
    tag += static_cast<char>((n >> 21) & 0x7F);
    tag += static_cast<char>((n >> 14) & 0x7F);
    tag += static_cast<char>((n >> 7) & 0x7F);
    tag += static_cast<char>(n & 0x7F);
    std::string data = tag + frames + "\xFF\xFB\x90\x44" + std::string(3000, '\0');
    if (d % 4 != 0)
        data += "TAG" + std::string(125, '\0');
    return data;
}

void generate(const fsys::path& root, int tracks)
{
    if (fsys::exists(root / ".complete"))
        return;
    std::printf("generating %d tracks in %s ...\n", tracks, root.c_str());
    fsys::remove_all(root);
    const int words = static_cast<int>(std::size(Words));
    for (int d = 0; d * 10 < tracks; ++d) {
        const std::string artist = Artists[d % std::size(Artists)];
        const std::string album =
            std::string(Words[(d * 7) % words]) + " " + Words[(d * 13 + 5) % words] + " " + std::to_string(d);
        const fsys::path dir = root / artist.c_str() / (std::to_string(1970 + d % 50) + " - " + album).c_str();
        fsys::create_directories(dir);
        std::string bbs;
        for (int t = 0; t < 10 && d * 10 + t < tracks; ++t) {
            const std::string title = std::string(Words[(d + t * 5) % words]) + " " + Words[(d * 3 + t) % words];
            const std::string name = (t < 9 ? "0" : "") + std::to_string(t + 1) + " - " + title + ".mp3";
            bench::writeFile(dir / name.c_str(), track(d, t, title, artist, album));
            bbs += name + " " + artist + " - " + title + "\r\n";
        }
        bench::writeFile(dir / "files.bbs", "\xEF\xBB\xBF" + bbs);
    }
    bench::writeFile(root / ".complete", "");
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void run(const fsys::path& base, int tracks)
{
    const fsys::path root = base / std::to_string(tracks);
    generate(root, tracks);
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
    std::printf("%d tracks in %d folders: ID3v2.4 tags of 5-6 text frames and 0-2 KB padding, a 20 KB cover on 1 in "
                "9, ID3v1 on 3 in 4, UTF-8 description files; Latin with accents, Cyrillic, Greek, Japanese\n",
                tracks, (tracks + 9) / 10);
    std::printf("  tree build                     %7.0f ms\n", tree * 1000);
    std::printf("  index build (best of three)    %7.0f ms (%.0f %% of the tree's build)\n", indexing * 1000,
                100 * indexing / tree);
    std::printf("  window start (tree and index)  %7.0f ms\n", start * 1000);
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
