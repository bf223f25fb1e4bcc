// Shared inside the configuration module: the table of game metadata cvars,
// used to register them and by the metadata file reader to reset, set and
// lock them.
#pragma once

struct metadata_cvar {
    const char *key; // key in game_metadata.txt, or null when only the engine sets it
    const char *name;
    int type;
    const char *default_text;
    const char *description;
    void *storage;
};

// The 28 metadata cvars in registration order.
extern const struct metadata_cvar config_metadata_cvars[];
extern const int config_metadata_cvar_count;
