#include "core/platform/Paths.h"

#include "core/platform/TextRules.h"

#include <vector>

namespace cantorel::paths {

std::string expand(std::string_view base, std::string_view path, bool backslashes)
{
    std::string whole;
    if (path.empty() || (path[0] != '/' && !(backslashes && path[0] == '\\'))) {
        whole.assign(base);
        whole += '/';
    }
    whole.append(path);
    std::vector<std::string_view> parts;
    std::string_view rest(whole);
    while (!rest.empty()) {
        std::size_t end = 0;
        while (end < rest.size() && rest[end] != '/' && !(backslashes && rest[end] == '\\'))
            ++end;
        const std::string_view part = rest.substr(0, end);
        rest.remove_prefix(end < rest.size() ? end + 1 : end);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (std::string_view part : parts) {
        out += '/';
        out.append(part);
    }
    return out.empty() ? std::string("/") : out;
}

std::string directoryOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

namespace {

// Everything after the last "/", where it lies.
std::string_view lastPart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string fileNameOf(std::string_view path) { return std::string(lastPart(path)); }

std::string withTrailingSlash(std::string_view path)
{
    std::string out(path);
    if (out.empty() || out.back() != '/')
        out += '/';
    return out;
}

std::string withoutTrailingSlash(std::string_view path)
{
    std::string out(path);
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

std::string namePartOfSetting(std::string_view value)
{
    const std::size_t cut = value.find_last_of("/\\:");
    return std::string(cut == std::string_view::npos ? value : value.substr(cut + 1));
}

std::string_view extensionOf(std::string_view path)
{
    const std::string_view name = lastPart(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string foldedExtension(std::string_view path) { return text::foldAZ(extensionOf(path)); }

} // namespace cantorel::paths
