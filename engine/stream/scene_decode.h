// Readable text of a scene stream, one command or record per line, for tests
// and for looking at what a tick produced.
// Thread: any thread that owns the stream (or holds it unchanged); the stream is
// only read, its read position is left alone.
// Ownership: the returned text is the caller's, freed with SDL_free.
#pragma once

#include "stream/stream.h"

// A whole scene: the header line, then one line per command. Render passes list
// their pass headers and primitive records indented beneath them. Strings are
// quoted, absent strings read nil. Decoding stops with an explanatory last line
// at an unknown opcode or where the data ends inside an item. Returns null when
// the stream is null or memory runs out.
char *scene_decode(const struct threadstream *scene);

// As scene_decode for a stream of commands without the scene header.
char *scene_decode_commands(const struct threadstream *stream);

// A bare run of primitive records as found inside a render pass (what the
// packers append), one line each, until the data ends.
char *scene_decode_primitives(const struct threadstream *stream);
