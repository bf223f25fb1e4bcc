// The process-wide log: entries tagged with a level and a subsystem name are
// appended to a pending list and leave it in batches, once per simulation tick
// (log_hand_off_pending), formatted for the log file and standard output.
// Thread: every writer (log_spam ... log_error, orv_log_write, log_limited)
// may be called from any thread. log_init, log_configure, log_quit and
// log_emergency_quit run on the main thread during start-up and shutdown.
// Ownership: a list returned by log_get_entries belongs to the caller, who
// frees it with log_free_entries. The log never calls the cvar registry; the
// configuration module registers the log.* cvars with the storage below.
#pragma once

#include <SDL.h>
#include <stdint.h>

#define LOG_SPAM 0
#define LOG_DEBUG 1
#define LOG_INFO 2
#define LOG_WARN 3
#define LOG_ERROR 4
#define LOG_UNFILTERED 2147483646
#define LOG_NOTHING 2147483647

// One log entry; subsystem and message point into the same allocation.
struct log_entry {
    int32_t level;
    uint32_t ticks; // SDL_GetTicks() when the entry was written
    const char *subsystem;
    const char *message;
    struct log_entry *next;
};

// What log_configure applies; the configuration module fills it from the
// log.* cvars.
struct log_settings {
    const char *level;             // "spam" ... "nothing"; anything else: error line, default
    int production;                // the default level is "info" when 1, "debug" when 0
    const char *filter_subsystems; // comma-separated, may be null
    const char *filename;          // "" or null: no log file; without '/' it goes to "logs/"
};

// Storage of the eight log.* cvars. Registered by the configuration module,
// so setting "log.stdout" and the others at run time takes effect with the
// next published batch. The three strings belong to the cvar registry (null
// after cvar_quit) and are read only by log_configure's caller. Before the
// cvars exist, output goes to standard output with the level character and
// the subsystem, uncoloured.
extern char *cvar_log_filename;
extern char *cvar_log_level;
extern char *cvar_log_filter_subsystems;
extern int32_t cvar_log_stdout;
extern int32_t cvar_log_timing;
extern int32_t cvar_log_level_char;
extern int32_t cvar_log_subsystem;
extern int32_t cvar_log_stdout_color;

// Creates the log mutexes and queues the start banner. Returns 1, or 0 when a
// mutex cannot be created (SDL_GetError tells why).
int log_init(void);

// Applies the settings: threshold (an unknown level name is logged as an
// error and the default used), subsystem filter, log file (opened for
// writing in the PhysicsFS write directory when PhysicsFS is initialised;
// failure is logged and the log goes on without a file), then marks the log
// ready and drops pending entries the settings filter out. Returns 1, or 0
// when the log is not initialised or memory runs out.
int log_configure(const struct log_settings *settings);

// 1 once log_configure has run (and until log_quit).
int log_is_ready(void);

// Called by log_emergency_quit when the log is not ready, to configure it
// from the cvars first (the configuration module installs its log_ready).
// The hook returns 1 when it configured the log; null uninstalls.
void log_set_emergency_ready_hook(int (*hook)(void));

// Writers: format (only when the level passes the threshold) and append.
void log_spam(const char *subsystem, SDL_PRINTF_FORMAT_STRING const char *format, ...)
    SDL_PRINTF_VARARG_FUNC(2);
void log_debug(const char *subsystem, SDL_PRINTF_FORMAT_STRING const char *format, ...)
    SDL_PRINTF_VARARG_FUNC(2);
void log_info(const char *subsystem, SDL_PRINTF_FORMAT_STRING const char *format, ...)
    SDL_PRINTF_VARARG_FUNC(2);
void log_warn(const char *subsystem, SDL_PRINTF_FORMAT_STRING const char *format, ...)
    SDL_PRINTF_VARARG_FUNC(2);
void log_error(const char *subsystem, SDL_PRINTF_FORMAT_STRING const char *format, ...)
    SDL_PRINTF_VARARG_FUNC(2);
void log_unfiltered(const char *subsystem, SDL_PRINTF_FORMAT_STRING const char *format, ...)
    SDL_PRINTF_VARARG_FUNC(2);

// The formatted message followed by " (<SDL_GetError()>)".
void log_sdl_error(const char *subsystem, int32_t level,
                   SDL_PRINTF_FORMAT_STRING const char *format, ...) SDL_PRINTF_VARARG_FUNC(3);

// The formatted message followed by " (<text of PHYSFS_getLastErrorCode()>)".
void log_physfs_error(const char *subsystem, int32_t level,
                      SDL_PRINTF_FORMAT_STRING const char *format, ...) SDL_PRINTF_VARARG_FUNC(3);

// One entry per '\n'-separated line of text; a final empty line is not
// written, an empty text writes one empty entry, null writes nothing.
void log_multiline(const char *subsystem, int32_t level, const char *text);

// For messages that may repeat without bound: *counter (owned by the call
// site, initially 0) lets 30 calls through; the 30th is followed by a notice
// that no more will be written.
void log_limited(int *counter, const char *subsystem, int32_t level,
                 SDL_PRINTF_FORMAT_STRING const char *format, ...) SDL_PRINTF_VARARG_FUNC(4);

// The entry point of every writer, also used by scripts and native extensions.
// Copies both texts; a null subsystem is kept as "???", a null message as
// "(null)". Ignored before log_init and after log_quit.
void orv_log_write(const char *subsystem, int32_t level, const char *message);

// 1 when an entry of this subsystem and level would be dropped now (always 1
// before log_init, 0 before the log is ready).
int log_should_be_filtered(const char *subsystem, int32_t level);

// Detaches the whole pending list, oldest first; the caller owns it.
struct log_entry *log_get_entries(void);

// Formats every entry of the list to the log file and standard output.
// Publishing is serialised, so batches from different threads never mix
// within a line. Does not free the list.
void log_publish(const struct log_entry *list);

// Frees every entry of a list; null is ignored.
void log_free_entries(struct log_entry *list);

// Per-tick hand-off on the simulation thread: detaches the pending list,
// gives each entry to `each` (may be null) in order, then publishes and frees
// the batch in a job on the last janitor worker, or right here when that job
// cannot be queued. An empty list queues nothing.
void log_hand_off_pending(void (*each)(void *user, int32_t level, uint32_t ticks,
                                       const char *subsystem, const char *message),
                          void *user);

// Writes "Logging shutting down", publishes and frees what is pending, closes
// the log file and the mutexes. Later writes are ignored. Returns 0.
int log_quit(void);

// For the fatal exit: when the log is initialised, configures it first if it
// is not ready and the ready hook can do so, then log_quit. Safe to call when
// the log was never initialised (it does nothing then).
void log_emergency_quit(void);
