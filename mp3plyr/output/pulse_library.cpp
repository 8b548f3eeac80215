// The sound server's client library, loaded when the first sound output opens rather than
// when the program starts: it brings some thirty libraries with it, whose loading took more
// processor time than decoding a short file to a file or a pipe. The functions the sound
// output calls are defined here with the library's own declarations and forward to it.
#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace pt4 {
namespace {

// Kept for the life of the process, as a linked library would be; nullptr when it is missing.
void* PulseLibrary()
{
    static std::once_flag once;
    static void* library = nullptr;
    std::call_once(once, [] { library = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL); });
    return library;
}

template <typename F> F Entry(const char* name)
{
    void* library = PulseLibrary();
    void* entry = library != nullptr ? dlsym(library, name) : nullptr;
    if (entry == nullptr) {
        // Only a main loop's creation runs without the library (and reports it); every other
        // call follows one, so a missing entry is a broken installation.
        std::fprintf(stderr, "pt4: libpulse.so.0 has no %s\n", name);
        std::abort();
    }
    return reinterpret_cast<F>(entry);
}

} // namespace
} // namespace pt4

// One forwarding definition: the result type, the name, the parameters and the arguments.
#define PT4_PULSE_FORWARD(result, name, parameters, arguments)                                               \
    extern "C" result name parameters                                                                        \
    {                                                                                                        \
        static const auto real = pt4::Entry<decltype(&name)>(#name);                                         \
        return real arguments;                                                                               \
    }

extern "C" pa_threaded_mainloop* pa_threaded_mainloop_new(void)
{
    if (pt4::PulseLibrary() == nullptr)
        return nullptr;
    static const auto real = pt4::Entry<decltype(&pa_threaded_mainloop_new)>("pa_threaded_mainloop_new");
    return real();
}

PT4_PULSE_FORWARD(void, pa_threaded_mainloop_free, (pa_threaded_mainloop * m), (m))
PT4_PULSE_FORWARD(pa_mainloop_api*, pa_threaded_mainloop_get_api, (pa_threaded_mainloop * m), (m))
PT4_PULSE_FORWARD(void, pa_threaded_mainloop_lock, (pa_threaded_mainloop * m), (m))
PT4_PULSE_FORWARD(void, pa_threaded_mainloop_unlock, (pa_threaded_mainloop * m), (m))
PT4_PULSE_FORWARD(void, pa_threaded_mainloop_signal, (pa_threaded_mainloop * m, int accept), (m, accept))
PT4_PULSE_FORWARD(int, pa_threaded_mainloop_start, (pa_threaded_mainloop * m), (m))
PT4_PULSE_FORWARD(void, pa_threaded_mainloop_stop, (pa_threaded_mainloop * m), (m))
PT4_PULSE_FORWARD(void, pa_threaded_mainloop_wait, (pa_threaded_mainloop * m), (m))

PT4_PULSE_FORWARD(pa_context*, pa_context_new_with_proplist,
                  (pa_mainloop_api * api, const char* name, const pa_proplist* properties),
                  (api, name, properties))
PT4_PULSE_FORWARD(int, pa_context_connect,
                  (pa_context * c, const char* server, pa_context_flags_t flags, const pa_spawn_api* api),
                  (c, server, flags, api))
PT4_PULSE_FORWARD(void, pa_context_disconnect, (pa_context * c), (c))
PT4_PULSE_FORWARD(int, pa_context_errno, (const pa_context* c), (c))
PT4_PULSE_FORWARD(pa_context_state_t, pa_context_get_state, (const pa_context* c), (c))
PT4_PULSE_FORWARD(pa_time_event*, pa_context_rttime_new,
                  (const pa_context* c, pa_usec_t usec, pa_time_event_cb_t cb, void* userdata),
                  (c, usec, cb, userdata))
PT4_PULSE_FORWARD(void, pa_context_rttime_restart, (const pa_context* c, pa_time_event* e, pa_usec_t usec),
                  (c, e, usec))
PT4_PULSE_FORWARD(pa_operation*, pa_context_get_server_info,
                  (pa_context * c, pa_server_info_cb_t cb, void* userdata), (c, cb, userdata))
PT4_PULSE_FORWARD(pa_operation*, pa_context_set_sink_input_volume,
                  (pa_context * c, uint32_t index, const pa_cvolume* volume, pa_context_success_cb_t cb,
                   void* userdata),
                  (c, index, volume, cb, userdata))
PT4_PULSE_FORWARD(void, pa_context_set_state_callback,
                  (pa_context * c, pa_context_notify_cb_t cb, void* userdata), (c, cb, userdata))
PT4_PULSE_FORWARD(void, pa_context_unref, (pa_context * c), (c))

PT4_PULSE_FORWARD(pa_stream*, pa_stream_new_with_proplist,
                  (pa_context * c, const char* name, const pa_sample_spec* spec, const pa_channel_map* map,
                   pa_proplist* properties),
                  (c, name, spec, map, properties))
PT4_PULSE_FORWARD(int, pa_stream_connect_playback,
                  (pa_stream * s, const char* device, const pa_buffer_attr* attributes,
                   pa_stream_flags_t flags, const pa_cvolume* volume, pa_stream* sync),
                  (s, device, attributes, flags, volume, sync))
PT4_PULSE_FORWARD(pa_operation*, pa_stream_cork,
                  (pa_stream * s, int cork, pa_stream_success_cb_t cb, void* userdata),
                  (s, cork, cb, userdata))
PT4_PULSE_FORWARD(int, pa_stream_disconnect, (pa_stream * s), (s))
PT4_PULSE_FORWARD(pa_operation*, pa_stream_drain, (pa_stream * s, pa_stream_success_cb_t cb, void* userdata),
                  (s, cb, userdata))
PT4_PULSE_FORWARD(pa_operation*, pa_stream_flush, (pa_stream * s, pa_stream_success_cb_t cb, void* userdata),
                  (s, cb, userdata))
PT4_PULSE_FORWARD(const pa_buffer_attr*, pa_stream_get_buffer_attr, (pa_stream * s), (s))
PT4_PULSE_FORWARD(uint32_t, pa_stream_get_index, (const pa_stream* s), (s))
PT4_PULSE_FORWARD(pa_stream_state_t, pa_stream_get_state, (const pa_stream* s), (s))
PT4_PULSE_FORWARD(const pa_timing_info*, pa_stream_get_timing_info, (pa_stream * s), (s))
PT4_PULSE_FORWARD(void, pa_stream_set_state_callback,
                  (pa_stream * s, pa_stream_notify_cb_t cb, void* userdata), (s, cb, userdata))
PT4_PULSE_FORWARD(void, pa_stream_set_underflow_callback,
                  (pa_stream * s, pa_stream_notify_cb_t cb, void* userdata), (s, cb, userdata))
PT4_PULSE_FORWARD(void, pa_stream_set_write_callback,
                  (pa_stream * s, pa_stream_request_cb_t cb, void* userdata), (s, cb, userdata))
PT4_PULSE_FORWARD(pa_operation*, pa_stream_trigger,
                  (pa_stream * s, pa_stream_success_cb_t cb, void* userdata), (s, cb, userdata))
PT4_PULSE_FORWARD(void, pa_stream_unref, (pa_stream * s), (s))
PT4_PULSE_FORWARD(pa_operation*, pa_stream_update_timing_info,
                  (pa_stream * s, pa_stream_success_cb_t cb, void* userdata), (s, cb, userdata))
PT4_PULSE_FORWARD(int, pa_stream_write,
                  (pa_stream * s, const void* data, size_t bytes, pa_free_cb_t release, int64_t offset,
                   pa_seek_mode_t seek),
                  (s, data, bytes, release, offset, seek))

PT4_PULSE_FORWARD(void, pa_operation_cancel, (pa_operation * o), (o))
PT4_PULSE_FORWARD(pa_operation_state_t, pa_operation_get_state, (const pa_operation* o), (o))
PT4_PULSE_FORWARD(void, pa_operation_set_state_callback,
                  (pa_operation * o, pa_operation_notify_cb_t cb, void* userdata), (o, cb, userdata))
PT4_PULSE_FORWARD(void, pa_operation_unref, (pa_operation * o), (o))

PT4_PULSE_FORWARD(pa_proplist*, pa_proplist_new, (void), ())
PT4_PULSE_FORWARD(void, pa_proplist_free, (pa_proplist * p), (p))
PT4_PULSE_FORWARD(int, pa_proplist_sets, (pa_proplist * p, const char* key, const char* value),
                  (p, key, value))

PT4_PULSE_FORWARD(pa_usec_t, pa_rtclock_now, (void), ())
PT4_PULSE_FORWARD(const char*, pa_strerror, (int error), (error))
PT4_PULSE_FORWARD(int, pa_sample_spec_valid, (const pa_sample_spec* spec), (spec))
PT4_PULSE_FORWARD(size_t, pa_frame_size, (const pa_sample_spec* spec), (spec))
PT4_PULSE_FORWARD(size_t, pa_usec_to_bytes, (pa_usec_t usec, const pa_sample_spec* spec), (usec, spec))
PT4_PULSE_FORWARD(pa_usec_t, pa_bytes_to_usec, (uint64_t bytes, const pa_sample_spec* spec), (bytes, spec))
PT4_PULSE_FORWARD(pa_channel_map*, pa_channel_map_init_stereo, (pa_channel_map * map), (map))
PT4_PULSE_FORWARD(pa_cvolume*, pa_cvolume_init, (pa_cvolume * volume), (volume))
PT4_PULSE_FORWARD(pa_volume_t, pa_sw_volume_from_linear, (double linear), (linear))
