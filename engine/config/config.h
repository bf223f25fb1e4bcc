// Configuration: the cvar registry (named, typed, documented variables with
// pending values, locking and a registration callback), the engine's built-in
// cvars, the readers of "metadata/game_metadata.txt" and the cvar files, and
// log_ready, which registers the log.* cvars and configures the log.
// Thread: the registry may be used from any thread; one mutex guards every
// registry operation. Engine hot paths read the exported cvar_* variables
// without a lock (only the registry writes them, with atomic stores). The file
// readers, the register_* functions and log_ready run on the main thread at
// start-up.
// Strings: a string cvar's text belongs to the registry. A replaced text is not
// freed but retired until cvar_quit (a text set again later is reused), so a
// pointer read from a string slot, e.g. cvar_game_metadata_orientation_current,
// stays valid on another thread while this one replaces it. cvar_quit frees
// every text and sets the slots to null. cvar_get_string_copy hands out copies.
#pragma once

#include <stdint.h>

#define CVAR_TYPE_STRING 1
#define CVAR_TYPE_INT 2
#define CVAR_TYPE_UINT 3
#define CVAR_TYPE_FLOAT 4
#define CVAR_TYPE_BOOL 5

// Told about every registered cvar (see cvar_set_register_callback).
typedef void (*cvar_register_callback)(void *user, const char *name, const char *description,
                                       int type);

// Renderer and web-server cvars (register_renderer_cvars).
extern int32_t cvar_renderer_fullscreen;
extern int32_t cvar_renderer_borderless;
extern int32_t cvar_renderer_start_headless;
extern int32_t cvar_renderer_vsync;
extern uint32_t cvar_renderer_background_sleep;
extern uint32_t cvar_webserver_port;
extern int32_t cvar_webserver_enabled;
extern int32_t cvar_webserver_remote_clients;

// Game metadata cvars (register_metadata_cvars), all locked.
extern char *cvar_game_metadata_devid;
extern char *cvar_game_metadata_devtitle;
extern char *cvar_game_metadata_gameid;
extern char *cvar_game_metadata_gametitle;
extern char *cvar_game_metadata_version;
extern char *cvar_game_metadata_icon;
extern char *cvar_game_metadata_readme;
extern int32_t cvar_game_metadata_deployment;
extern int32_t cvar_game_metadata_compile_ruby;
extern char *cvar_game_metadata_packageid;
extern int32_t cvar_game_metadata_vrmode;
extern int32_t cvar_game_metadata_hd;
extern int32_t cvar_game_metadata_allscreen;
extern int32_t cvar_game_metadata_hd_letterbox;
extern int32_t cvar_game_metadata_hd_max_scale;
extern int32_t cvar_game_metadata_allscreen_max_scale;
extern int32_t cvar_game_metadata_scale_quality;
extern int32_t cvar_game_metadata_highdpi;
extern char *cvar_game_metadata_orientation;
extern char *cvar_game_metadata_sprites_directory;
extern int32_t cvar_game_metadata_remote_hotload;
extern char *cvar_game_metadata_ignore_directories;
extern int32_t cvar_game_metadata_ignore_directories_recursively;
extern char *cvar_game_metadata_orientation_android;
extern char *cvar_game_metadata_orientation_ios;
extern int32_t cvar_game_metadata_orientation_both;
extern char *cvar_game_metadata_orientation_on_startup;
extern char *cvar_game_metadata_orientation_current;

// --- Registry -------------------------------------------------------------

// Returns 1; the registry needs no set-up.
int cvar_init(void);

// Registers a cvar of the given type (CVAR_TYPE_*) with its storage (an
// int32_t, uint32_t, float or char * slot that must stay valid until
// cvar_quit; null uses a slot inside the record) and sets it from the pending value for the name,
// or else from default_text. Registering a name that exists keeps the one record, its value, its
// description and its lock; when the existing record uses its own slot, the new storage takes over;
// otherwise the new storage receives a copy of the value. A different type for an existing name is
// refused. Returns 0 for a null name or default, an unknown type, or out of memory.
int cvar_register(const char *name, int type, const char *description, void *storage,
                  const char *default_text);

// Typed forms of cvar_register; the default is formatted as text.
int cvar_register_string(const char *name, const char *description, char **storage,
                         const char *default_value);
int cvar_register_int(const char *name, const char *description, int32_t *storage,
                      int32_t default_value);
int cvar_register_uint(const char *name, const char *description, uint32_t *storage,
                       uint32_t default_value);
int cvar_register_float(const char *name, const char *description, float *storage,
                        float default_value);
int cvar_register_bool(const char *name, const char *description, int32_t *storage,
                       int default_value);

// The storage slot of a registered cvar, its type and description (each
// out-pointer may be null); null, type 0 and null description when unknown.
void *cvar_get(const char *name, int *type, const char **description);

// The storage slot when the cvar exists with that type, else null.
char **cvar_get_string(const char *name);
int32_t *cvar_get_int(const char *name);
uint32_t *cvar_get_uint(const char *name);
float *cvar_get_float(const char *name);
int32_t *cvar_get_bool(const char *name);

// Copy of a string cvar's text, or null when there is no such string cvar.
// Caller frees with SDL_free.
char *cvar_get_string_copy(const char *name);

// Sets a cvar from text: int and uint clamp to their range (negative text
// gives 0 for uint), float reads a decimal or hexadecimal number, bool is 1 for
// a non-zero number or "true" in any case. Unparsable numbers become 0. A
// locked cvar is refused with an error line (0). For a name not registered
// yet the value is kept as pending and applied at registration (1).
int cvar_set(const char *name, const char *text);

// Sets a registered cvar even when it is locked, keeping the lock: the
// engine's own way to change a setting scripts may not. 0 when unknown.
int cvar_set_forced(const char *name, const char *text);

// Lock flag of a registered cvar; 0 when the name is not registered.
int cvar_lock(const char *name);
int cvar_unlock(const char *name);
int cvar_islocked(const char *name);

// Installs the callback (null removes it) and calls it at once for every
// registered cvar, newest first; afterwards every registration calls it. It
// is called without the registry's mutex held, so it may use the registry.
void cvar_set_register_callback(cvar_register_callback callback, void *user);

// Frees every cvar, text and pending value and clears the callback. String
// slots become null; numeric slots keep their last value.
void cvar_quit(void);

// --- Built-in cvars ---------------------------------------------------------

// Registers the eight renderer and web-server cvars. Returns 1, or 0 at the
// first failure.
int register_renderer_cvars(void);

// Registers the 28 game_metadata.* cvars, locking each one. Returns 1, or 0 at
// the first failure.
int register_metadata_cvars(void);

// Registers the eight log.* cvars (the default file name is the game id plus
// ".log"), locks log.filename, log.level and log.filter_subsystems, and
// configures the log from them. Returns 0 when "game_metadata.gameid" is not
// registered, a registration fails or the log cannot be configured.
int log_ready(void);

// --- Configuration files ------------------------------------------------------

// Reads a text file into lines split at "\n", "\r" and "\r\n": an array of
// pointers into one buffer, ending with a null entry. *out_count (may be null)
// receives the number of lines (1 for an empty file; a final line end adds an
// empty last line). Null when the file cannot be loaded. Free with
// free_split_textfile.
char **split_textfile_into_lines(const char *path, int *out_count);

// Frees what split_textfile_into_lines returned; null is ignored.
void free_split_textfile(char **lines);

// Splits "key = value" in place. Returns 1 for a pair or a comment (blank, or
// '#' or ';' first; *key and *value null) and 0 for an invalid line (no key).
int split_key_value_string(char *line, char **key, char **value);

// Sets cvars from a "name=value" file; a missing file is skipped silently.
void load_cvars_from_file(const char *path);

// Reads the game's identity file into the game_metadata.* cvars. Returns 1
// when the file was read, had all five identity keys and the package id was
// set; 0 otherwise. A store publishing key ("steam.", "itchio.") is fatal: the
// error lines are logged and the fatal handler is called.
int load_metadata(const char *path);

// The handler for fatal configuration errors (it must not return); it gets
// the first error line. Without one the log is finished, the message goes to
// standard error and the process exits with status 1.
void config_set_fatal_handler(void (*handler)(const char *message));
