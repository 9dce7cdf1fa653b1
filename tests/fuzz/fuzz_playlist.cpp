#include "collection/CollectionBuilder.h"
#include "info/TrackInfo.h"
#include "platform/CodePage.h"
#include "platform/Collation.h"
#include "FuzzSupport.h"

#include <filesystem>

using namespace cantorel;

// A small collection whose playlist is the input.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string root = [] {
        const std::string r = fuzz::workDirectory() + "music/";
        std::filesystem::create_directories(r + "Dir");
        for (const char* name : {"Dir/a.mp3", "b.mp3", "Dir/c.MP3"})
            std::ofstream(r + name) << "\xFF\xFB\x90\x44" << std::string(2000, '\0');
        return r;
    }();
    fuzz::writeInput("music/list.m3u", data, size);
    static const Collation collation("C", CodePage::byNumber(1252));
    const BuildSettings settings{root,
                                 "Root",
                                 "files.bbs",
                                 "dirinfo",
                                 "dirinfo.rtf",
                                 "dirinfo.bmp",
                                 "Playlists",
                                 "",
                                 "",
                                 "",
                                 *CodePage::byNumber(437),
                                 *CodePage::byNumber(1252),
                                 trackProber(*CodePage::byNumber(1252)),
                                 collation};
    CollectionTree tree;
    CollectionBuilder(tree, settings).BuildTree();
    return 0;
}
