#include "core/collection/CollectionBuilder.h"
#include "core/info/TrackInfo.h"
#include "core/platform/CodePage.h"
#include "core/platform/Collation.h"

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
    const BuildSettings settings = BuildSettings::forRoot(root, collation, trackProber(*CodePage::byNumber(1252)),
                                                          *CodePage::byNumber(437), *CodePage::byNumber(1252));
    CollectionTree tree;
    CollectionBuilder(tree, settings).BuildTree();
    return 0;
}
