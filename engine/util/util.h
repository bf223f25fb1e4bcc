// Small helpers for the whole engine: whole-file reads and writes through the
// virtual file system, writes to real directories outside it, formatted heap
// strings, file times and existence, local time and a UTF-8 decoder.
// Thread: any thread may call every function; none keeps state of its own.
// Ownership: every returned buffer or string is the caller's, freed with
// SDL_free. Nothing here logs: failures come back as null, 0 or -1, and the
// file helpers leave a PhysicsFS error code for log_physfs_error.
#pragma once

#include <SDL.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// Largest file loadfile accepts, so that length + 1 fits a 32-bit signed int.
#define UTIL_LOADFILE_MAX_LENGTH 0x7FFFFFFEu

// Result of utf8codepoint for malformed or disallowed input.
#define UTF8_BAD_CODEPOINT 0xFFFFFFFFu

// Formatted heap string, or null. Caller frees with SDL_free.
char *sprintf_alloc(SDL_PRINTF_FORMAT_STRING const char *format, ...) SDL_PRINTF_VARARG_FUNC(1);

// sprintf_alloc for a variable-argument list; `args` is consumed as by vsnprintf.
char *vsprintf_alloc(const char *format, va_list args);

// Whole file from the search path plus one NUL byte, or null. `length` (may be
// null) receives the length without the NUL, or 0 on failure. Files longer
// than UTIL_LOADFILE_MAX_LENGTH are refused. Caller frees with SDL_free.
char *loadfile(const char *path, size_t *length);

// Replaces `path` in the write directory with `length` bytes of `data`,
// creating missing directories. The bytes go to "<path>.tmp<thread id>" first
// and are renamed into place, so a failed write leaves the old file intact.
// Returns 1 on success, 0 on failure.
int storefile(const char *path, const void *data, size_t length);

// Appends `length` bytes to `path` in the write directory (created when
// missing, with its directories). Returns 1 on success, 0 on failure.
int appendfile(const char *path, const void *data, size_t length);

// Writes "<directory>/<path>" on the real file system, bypassing PhysicsFS and
// creating missing directories (mode 0700). `path` must be relative and free
// of ".." components; otherwise nothing is written, 0 is returned and the
// PhysicsFS error code is PHYSFS_ERR_BAD_FILENAME. Returns 1 on success.
int storefile_write_override(const char *directory, const char *path, const void *data,
                             size_t length);

// As storefile_write_override, but appends.
int appendfile_write_override(const char *directory, const char *path, const void *data,
                              size_t length);

// Modification time of `path` in the search path (seconds), or -1 when not found.
int64_t lastmodtime(const char *path);

// 1 when a file or directory `path` exists anywhere in the search path, else 0.
int path_exists(const char *path);

// time(NULL) as a signed 64-bit count of seconds.
int64_t current_timestamp(void);

// Local date and time now; every out-pointer may be null. Month is 1-12; a
// leap second is reported as 59.
void current_datetime(int *year, int *month, int *day, int *hour, int *minute, int *second);

// Next code point of the NUL-terminated UTF-8 text at *cursor, advancing it.
// Returns 0 at the terminator without moving, UTF8_BAD_CODEPOINT for malformed
// or disallowed input (the cursor then moves past the bytes examined, or by one
// when a continuation byte is missing, so the offending byte comes next).
uint32_t utf8codepoint(const char **cursor);

// "<first>-<second>" as a heap string, for native extensions. Caller frees
// with SDL_free.
char *generate_unique_emscripten_folder_name(const char *first, const char *second);

// Gives PhysicsFS the SDL allocator (SDL_malloc, SDL_realloc, SDL_free), so
// its memory is counted with the engine's. Call before PHYSFS_init; returns
// PHYSFS_setAllocator's result (0 when PhysicsFS is already initialised).
int util_physfs_use_sdl_allocator(void);
