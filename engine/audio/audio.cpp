// OpenAL device and context lifetime.
#include "audio/audio.h"

#include "log/log.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <stdlib.h>

namespace {

struct audio_state {
    ALCdevice *device;
    ALCcontext *context;
    int float32;
    ALenum format_mono_float32;
    ALenum format_stereo_float32;
};

struct audio_state g_audio;

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
        // No sound card must not stop the game: OpenAL Soft's null back end
        // ("No Output") mixes into nothing. The platform's dummy audio driver
        // is set as well for back ends that go through it.
        log_warn("Engine", "Couldn't open the default audio device; the game runs silent.");
        SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!open_device("No Output") && !open_device(nullptr)) {
            return 0;
        }
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
