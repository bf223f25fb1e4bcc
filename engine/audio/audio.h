// Audio: the OpenAL device and context. Sources, buffers and their
// reconciliation with the game's audio outputs build on this.
// Thread: audio_init and audio_quit on the main thread (start-up, shutdown);
// everything else on the simulation thread.
#pragma once

// Opens the default playback device and a context on it. Without a usable
// device it falls back to OpenAL's silent output so the game still runs, and
// logs a warning. Returns 1, or 0 when not even that can be opened.
int audio_init(void);

// Once per simulation tick: on the silent output, mixes the samples a sound
// card would have played since the last call.
void audio_tick(void);

// 1 when no device could be opened and the engine mixes into nothing.
int audio_is_silent(void);

// Closes the context and device; safe when audio_init failed or never ran.
void audio_quit(void);

// 1 when the float sample formats are available.
int audio_has_float32(void);
