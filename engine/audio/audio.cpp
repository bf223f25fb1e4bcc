// OpenAL device and context lifetime.
#include "audio/audio.h"

#include "log/log.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <SDL.h>
#include <stdint.h>
#include <stdlib.h>

namespace {

constexpr ALCint silent_rate = 44100;
constexpr int silent_chunk_frames = 2048;

struct audio_state {
    ALCdevice *device;
    ALCcontext *context;
    int float32;
    ALenum format_mono_float32;
    ALenum format_stereo_float32;
    // Silent output: a loopback device the engine mixes itself, so sources
    // play, advance and finish as they would on a sound card.
    int silent;
    LPALCRENDERSAMPLESSOFT render_samples;
    uint32_t silent_rendered_ms;
    uint64_t silent_frames_done;
};

struct audio_state g_audio;

int open_silent_device(void)
{
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) {
        return 0;
    }
    auto open_loopback =
        (LPALCLOOPBACKOPENDEVICESOFT)alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT");
    auto render = (LPALCRENDERSAMPLESSOFT)alcGetProcAddress(nullptr, "alcRenderSamplesSOFT");
    if (!open_loopback || !render) {
        return 0;
    }
    g_audio.device = open_loopback(nullptr);
    if (!g_audio.device) {
        return 0;
    }
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,     ALC_SHORT_SOFT,
                                 ALC_FREQUENCY,            silent_rate,
                                 0};
    g_audio.context = alcCreateContext(g_audio.device, attributes);
    if (!g_audio.context) {
        alcCloseDevice(g_audio.device);
        g_audio.device = nullptr;
        return 0;
    }
    g_audio.silent = 1;
    g_audio.render_samples = render;
    g_audio.silent_rendered_ms = SDL_GetTicks();
    return 1;
}

// Opens a device by name (null for the default) and creates a context on it.
int open_device(const char *name)
{
    g_audio.device = alcOpenDevice(name);
    if (!g_audio.device) {
        return 0;
    }
    g_audio.context = alcCreateContext(g_audio.device, nullptr);
    if (!g_audio.context) {
        alcCloseDevice(g_audio.device);
        g_audio.device = nullptr;
        return 0;
    }
    return 1;
}

}  // namespace

int audio_init(void)
{
    g_audio = audio_state{};
    if (!open_device(nullptr)) {
        // No sound card must not stop the game. Back ends that go through the
        // platform's audio get its dummy driver; otherwise the engine mixes
        // into nothing itself.
        SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!open_device(nullptr) && !open_silent_device()) {
            return 0;
        }
        log_warn("Engine", "Couldn't open an audio device; the game runs silent.");
    }
    if (!alcMakeContextCurrent(g_audio.context)) {
        alcDestroyContext(g_audio.context);
        alcCloseDevice(g_audio.device);
        g_audio = audio_state{};
        return 0;
    }
    if (alIsExtensionPresent("AL_EXT_FLOAT32")) {
        g_audio.float32 = 1;
        g_audio.format_mono_float32 = alGetEnumValue("AL_FORMAT_MONO_FLOAT32");
        g_audio.format_stereo_float32 = alGetEnumValue("AL_FORMAT_STEREO_FLOAT32");
    }
    const ALCchar *name = alcGetString(g_audio.device, ALC_DEVICE_SPECIFIER);
    log_info("Engine", "Audio device: %s", name ? name : "(unknown)");
    return 1;
}

void audio_tick(void)
{
    if (!g_audio.silent) {
        return;
    }
    // Mix as much as a sound card would have consumed since the last call,
    // in bounded chunks, so playback positions follow the clock.
    static int16_t scratch[silent_chunk_frames * 2];
    const uint32_t now = SDL_GetTicks();
    const uint64_t elapsed_ms = (uint32_t)(now - g_audio.silent_rendered_ms);
    uint64_t due = elapsed_ms * (uint64_t)silent_rate / 1000;
    if (due > (uint64_t)silent_rate) {
        due = silent_rate;  // after a long stall, one second is enough
    }
    g_audio.silent_rendered_ms = now;
    while (due > 0) {
        const ALCsizei frames = (ALCsizei)(due < silent_chunk_frames ? due : silent_chunk_frames);
        g_audio.render_samples(g_audio.device, scratch, frames);
        due -= (uint64_t)frames;
        g_audio.silent_frames_done += (uint64_t)frames;
    }
}

int audio_is_silent(void)
{
    return g_audio.silent;
}

void audio_quit(void)
{
    if (g_audio.context) {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(g_audio.context);
    }
    if (g_audio.device) {
        alcCloseDevice(g_audio.device);
    }
    g_audio = audio_state{};
}

int audio_has_float32(void)
{
    return g_audio.float32;
}
