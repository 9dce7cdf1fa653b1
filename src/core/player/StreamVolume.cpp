#include "core/player/StreamVolume.h"

#include "core/platform/FileSystem.h"
#include "core/platform/Paths.h"
#include "core/platform/SafeFileWriter.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>
#include <string>
#include <unistd.h>

namespace cantorel {

namespace {

// The decoder library names its streams so.
constexpr const char* ApplicationName = "Cantorel";

void onContext(pa_context*, void* self) { static_cast<StreamVolume*>(self)->contextChanged(); }

void onStreamInfo(pa_context*, const pa_sink_input_info* info, int eol, void* self)
{
    if (eol != 0 || !info)
        return;
    const char* name = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_NAME);
    const char* pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    const bool ours = name && pid && std::string(name) == ApplicationName && std::to_string(::getpid()) == pid;
    static_cast<StreamVolume*>(self)->streamFound(info->index, info->channel_map.channels, ours);
}

void onEvent(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index, void* self)
{
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK_INPUT)
        return;
    const auto what = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (what == PA_SUBSCRIPTION_EVENT_REMOVE) {
        static_cast<StreamVolume*>(self)->streamGone(index);
    } else if (what == PA_SUBSCRIPTION_EVENT_NEW) {
        if (pa_operation* o = pa_context_get_sink_input_info(context, index, onStreamInfo, self))
            pa_operation_unref(o);
    }
}

int readPercent(const std::string& file)
{
    const std::optional<std::string> text = file.empty() ? std::nullopt : fs::readFile(file);
    if (!text)
        return StreamVolume::Default;
    char* end = nullptr;
    const long value = std::strtol(text->c_str(), &end, 10);
    const bool number = end != text->c_str() && (*end == '\0' || *end == '\n');
    return number ? static_cast<int>(std::clamp<long>(value, 0, StreamVolume::Maximum)) : StreamVolume::Default;
}

} // namespace

StreamVolume::StreamVolume(std::string file) : file_(std::move(file)), percent_(readPercent(file_)) { connect(); }

StreamVolume::~StreamVolume() { disconnect(); }

int StreamVolume::percent() const
{
    std::lock_guard lock(mutex_);
    return percent_;
}

void StreamVolume::setPercent(int percent)
{
    percent = std::clamp(percent, 0, Maximum);
    std::set<std::pair<std::uint32_t, std::uint8_t>> streams;
    {
        std::lock_guard lock(mutex_);
        if (percent == percent_)
            return;
        percent_ = percent;
        streams = streams_;
    }
    if (!file_.empty()) {
        // A volume that cannot be kept still applies to this run.
        std::error_code ignored;
        std::filesystem::create_directories(paths::directoryOf(file_), ignored);
        (void)fs::replaceFile(file_, std::to_string(percent) + "\n");
    }
    if (!loop_)
        return;
    pa_threaded_mainloop_lock(loop_);
    for (const auto& [index, channels] : streams)
        apply(index, channels);
    pa_threaded_mainloop_unlock(loop_);
}

void StreamVolume::reconnect()
{
    if (loop_) {
        pa_threaded_mainloop_lock(loop_);
        const bool good = PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
        pa_threaded_mainloop_unlock(loop_);
        if (good)
            return;
    }
    disconnect();
    connect();
}

void StreamVolume::connect()
{
    loop_ = pa_threaded_mainloop_new();
    if (!loop_)
        return;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Cantorel volume");
    if (!context_) {
        disconnect();
        return;
    }
    pa_context_set_state_callback(context_, onContext, this);
    pa_context_set_subscribe_callback(context_, onEvent, this);
    // Without a server nothing waits: the connection fails in the main loop's time.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop_) < 0)
        disconnect();
}

void StreamVolume::disconnect()
{
    if (loop_)
        pa_threaded_mainloop_stop(loop_);
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_)
        pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
    context_ = nullptr;
    std::lock_guard lock(mutex_);
    streams_.clear();
}

void StreamVolume::contextChanged()
{
    if (pa_context_get_state(context_) != PA_CONTEXT_READY)
        return;
    if (pa_operation* o = pa_context_subscribe(context_, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr))
        pa_operation_unref(o);
    listStreams();
}

void StreamVolume::listStreams()
{
    if (pa_operation* o = pa_context_get_sink_input_info_list(context_, onStreamInfo, this))
        pa_operation_unref(o);
}

void StreamVolume::streamFound(std::uint32_t index, std::uint8_t channels, bool ours)
{
    if (!ours)
        return;
    {
        std::lock_guard lock(mutex_);
        streams_.insert({index, channels});
    }
    apply(index, channels);
}

void StreamVolume::streamGone(std::uint32_t index)
{
    std::lock_guard lock(mutex_);
    std::erase_if(streams_, [index](const auto& s) { return s.first == index; });
}

void StreamVolume::apply(std::uint32_t index, std::uint8_t channels)
{
    pa_cvolume volume;
    pa_cvolume_set(&volume, channels, static_cast<pa_volume_t>(std::int64_t{PA_VOLUME_NORM} * percent() / 100));
    if (pa_operation* o = pa_context_set_sink_input_volume(context_, index, &volume, nullptr, nullptr))
        pa_operation_unref(o);
}

} // namespace cantorel
