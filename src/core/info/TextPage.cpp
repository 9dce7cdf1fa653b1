#include "core/info/TextPage.h"

#include "core/config/Configuration.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/TextRules.h"

#include <algorithm>

namespace cantorel {

std::optional<TextPage> readTextPage(const std::string& path, const SettingsRecord& settings)
{
    std::optional<std::string> data = fs::readFile(path);
    if (!data)
        return std::nullopt;
    if (data->starts_with("\xEF\xBB\xBF"))
        data->erase(0, 3);
    TextPage page;
    if (RtfDocument::isRtf(*data)) {
        page.rich = RtfDocument::parse(*data, settings.ansi());
        return page;
    }
    const bool utf8 = text::isValidUtf8(*data) && std::any_of(data->begin(), data->end(), [](char c) {
                          return static_cast<unsigned char>(c) >= 0x80;
                      });
    const bool ansi = text::foldAZ(path).find(".rtf") != std::string::npos || !settings.TXTCodePage;
    const CodePage& page8 = *CodePage::byNumber(CodePage::Utf8);
    const CodePage& pageOf = settings.TXTUtf8 ? page8 : ansi ? settings.ansi() : settings.oem();
    page.plain = utf8 ? std::move(*data) : pageOf.decode(*data);
    return page;
}

} // namespace cantorel
