#include "core/info/RtfDocument.h"
#include "core/platform/CodePage.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view rtf(reinterpret_cast<const char*>(data), size);
    cantorel::RtfDocument::parse(rtf, *cantorel::CodePage::byNumber(1252)).plainText();
    return 0;
}
