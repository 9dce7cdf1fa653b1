#include "core/collection/DescriptionList.h"
#include "core/platform/CodePage.h"

#include <cstdint>
#include <vector>

using namespace cantorel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const DescriptionList list =
        DescriptionList::fromBytes(std::string(reinterpret_cast<const char*>(data), size), *CodePage::byNumber(866));
    // The first words of the lines make names that match, and some that almost do.
    std::vector<std::string> names{"Live", "Live.mp3", "a", "\"q\"", "Ж"};
    for (std::size_t i = 0; i < list.lines().size() && i < 20; ++i)
        names.emplace_back(list.lines()[i].text.substr(0, list.lines()[i].text.find(' ')));
    const std::vector<int> taken = list.assign(names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (taken[i] >= 0)
            (void)DescriptionList::descriptionOf(list.lines()[static_cast<std::size_t>(taken[i])].text, names[i]);
    }
    return 0;
}
