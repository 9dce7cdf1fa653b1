#include "core/info/TextPage.h"

#include "core/collection/FileKinds.h"
#include "core/config/Configuration.h"
#include "core/platform/CodePage.h"
#include "core/platform/FileSystem.h"
#include "core/platform/TextFile.h"
#include "core/platform/TextRules.h"

namespace cantorel {

std::optional<TextPage> readTextPage(const std::string& path, const SettingsRecord& settings)
{
    const std::optional<std::string> data = fs::readFile(path);
    if (!data)
        return std::nullopt;
    return textPageOf(*data, path, settings);
}

TextPage textPageOf(std::string_view bytes, const std::string& path, const SettingsRecord& settings)
{
    TextPage page;
    const std::string_view text = TextFile::withoutMark(bytes);
    if (RtfDocument::isRtf(text)) {
        page.rich = RtfDocument::parse(std::string(text), settings.ansi());
        return page;
    }
    const bool ansi =
        text::foldAZ(path).find(FileKinds::AnsiTextPageMark) != std::string::npos || !settings.TXTCodePage;
    const CodePage& fallback = settings.TXTUtf8 ? *CodePage::byNumber(CodePage::Utf8)
                               : ansi           ? settings.ansi()
                                                : settings.oem();
    page.plain = TextFile::decode(bytes, fallback);
    return page;
}

} // namespace cantorel
