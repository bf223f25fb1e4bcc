// SDL_RWops over PhysicsFS files, so SDL's loaders (controller mappings,
// images, sounds) read from the game's virtual file system.
// Thread: any thread, one RWops used by one thread at a time.
// Ownership: the returned RWops owns its PhysicsFS file; SDL_RWclose closes
// both (functions that take an RWops and "free source" close it for you).
#pragma once

#include <SDL.h>
#include <physfs.h>

// Opens `path` from the search path for reading; null on failure (PhysicsFS
// error code set).
SDL_RWops *PHYSFSRWOPS_openRead(const char *path);

// Opens `path` in the write directory, replacing it; null on failure.
SDL_RWops *PHYSFSRWOPS_openWrite(const char *path);

// Opens `path` in the write directory for appending; null on failure.
SDL_RWops *PHYSFSRWOPS_openAppend(const char *path);

// Wraps an open PhysicsFS file; the RWops takes it over. Null when `file` is
// null or out of memory (the file is then left open for the caller).
SDL_RWops *PHYSFSRWOPS_makeRWops(PHYSFS_File *file);
