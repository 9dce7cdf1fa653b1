#include "decoder/ReplayGain.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mpg123.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cantorel::mpeg {

namespace {

constexpr std::size_t ApeFooterSize = 32;
constexpr std::size_t ApeTagLimit = 64 * 1024;

std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// The number at the start of `text` ("-6.20 dB", "+1.5", "0.988"), in the C locale.
std::optional<double> leadingNumber(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status != std::errc() || end == text.data() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool readAt(int fd, unsigned char* buffer, std::size_t count, off_t offset)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, buffer + done, count - done, offset + static_cast<off_t>(done));
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

double factorOf(double db) { return std::pow(10.0, db / 20.0); }

} // namespace

ReplayGain ReplayGain::fromEnvironment()
{
    ReplayGain gain;
    const char* value = std::getenv("CANTOREL_REPLAYGAIN");
    if (!value)
        return gain;
    const std::string_view text(value);
    if (text.starts_with("track"))
        gain.mode_ = Mode::Track;
    else if (text.starts_with("album"))
        gain.mode_ = Mode::Album;
    const std::size_t space = text.find(' ');
    if (gain.mode_ != Mode::Off && space != std::string_view::npos)
        gain.preampDb_ = std::clamp(leadingNumber(text.substr(space + 1)).value_or(0.0), -15.0, 15.0);
    return gain;
}

void ReplayGain::prepare(mpg123_handle* mh) const
{
    const long rva = mode_ == Mode::Album ? MPG123_RVA_ALBUM : mode_ == Mode::Track ? MPG123_RVA_MIX : MPG123_RVA_OFF;
    mpg123_param(mh, MPG123_RVA, rva, 0.0);
    mpg123_volume(mh, 1.0);
}

void ReplayGain::apply(mpg123_handle* mh, const std::string& file) const
{
    if (mode_ == Mode::Off)
        return;
    double base = 0, really = 0, rvaDb = 0;
    mpg123_getvolume(mh, &base, &really, &rvaDb);
    if (rvaDb != 0) {
        // libmpg123 applies the gain and holds the peak below full scale itself.
        mpg123_volume(mh, factorOf(preampDb_));
        return;
    }
    const std::optional<Gain> ape = file.empty() ? std::nullopt : apeGain(file, mode_ == Mode::Album);
    if (!ape)
        return;
    double scale = factorOf(ape->db + preampDb_);
    if (ape->peak > 0 && scale * ape->peak > 1.0)
        scale = 1.0 / ape->peak;
    mpg123_volume(mh, scale);
}

std::optional<ReplayGain::Gain> ReplayGain::apeGain(const std::string& file, bool album)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<Gain> gain;
    unsigned char footer[ApeFooterSize];
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        off_t end = st.st_size;
        // An ID3v1 block may follow the APE tag.
        if (end >= 128 && readAt(fd, footer, 3, end - 128) && std::memcmp(footer, "TAG", 3) == 0)
            end -= 128;
        if (end >= off_t{ApeFooterSize} && readAt(fd, footer, ApeFooterSize, end - off_t{ApeFooterSize}) &&
            std::memcmp(footer, "APETAGEX", 8) == 0) {
            const std::uint32_t size = le32(footer + 12); // items and footer
            std::vector<unsigned char> items(
                size > ApeFooterSize && size <= ApeTagLimit && size <= end ? size - ApeFooterSize : 0);
            if (!items.empty() && readAt(fd, items.data(), items.size(), end - static_cast<off_t>(size)))
                gain = gainInItems(items, le32(footer + 16), album);
        }
    }
    ::close(fd);
    return gain;
}

std::optional<ReplayGain::Gain> ReplayGain::gainInItems(const std::vector<unsigned char>& items, std::uint32_t count,
                                                        bool album)
{
    const std::string gainKey = album ? "REPLAYGAIN_ALBUM_GAIN" : "REPLAYGAIN_TRACK_GAIN";
    const std::string peakKey = album ? "REPLAYGAIN_ALBUM_PEAK" : "REPLAYGAIN_TRACK_PEAK";
    std::optional<double> db, peak;
    std::size_t at = 0;
    // Each item: value length, flags, key and a zero byte, value.
    for (std::uint32_t i = 0; i < count && at + 8 < items.size(); ++i) {
        const std::uint32_t length = le32(&items[at]);
        const auto keyStart = items.begin() + static_cast<std::ptrdiff_t>(at + 8);
        const auto keyEnd = std::find(keyStart, items.end(), 0);
        if (keyEnd == items.end())
            break;
        const std::size_t valueAt = static_cast<std::size_t>(keyEnd - items.begin()) + 1;
        if (length > items.size() - valueAt)
            break;
        std::string key(keyStart, keyEnd);
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : char(c); });
        const std::string_view value(reinterpret_cast<const char*>(&items[valueAt]), length);
        if (key == gainKey)
            db = leadingNumber(value);
        else if (key == peakKey)
            peak = leadingNumber(value);
        at = valueAt + length;
    }
    if (!db)
        return std::nullopt;
    return Gain{*db, std::max(0.0, peak.value_or(0.0))};
}

} // namespace cantorel::mpeg
