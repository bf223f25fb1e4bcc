// The log: writers append to the pending list under a recursive mutex; batches
// are detached and published (formatted to the log file and standard output)
// under a second mutex of their own, so a batch published on the simulation
// thread never interleaves with one on a janitor worker.
#include "log/log.h"

#include <physfs.h>
#include <stdio.h>
#include <string.h>

#include "build_info.h"
#include "janitor/janitor.h"
#include "util/util.h"

char *cvar_log_filename = nullptr;
char *cvar_log_level = nullptr;
char *cvar_log_filter_subsystems = nullptr;
int32_t cvar_log_stdout = 1;
int32_t cvar_log_timing = 0;
int32_t cvar_log_level_char = 1;
int32_t cvar_log_subsystem = 1;
int32_t cvar_log_stdout_color = 0;

namespace
{

struct log_state {
    SDL_atomic_t initialised;
    SDL_atomic_t ready;
    SDL_atomic_t threshold;
    SDL_mutex *mutex;         // recursive: guards the pending list and the filter list
    SDL_mutex *publish_mutex; // guards the log file and keeps batches whole
    struct log_entry *head;
    struct log_entry *tail;
    char **filters;
    int filter_count;
    PHYSFS_File *file; // under publish_mutex
    int (*emergency_ready_hook)(void);
};

struct log_state g_log;

const char *const kShuttingDown = "Logging shutting down";
const char *const kTooMany = "(Too many logs entries like this, not logging it again.)";

struct level_name {
    const char *name;
    int32_t level;
};

const level_name kLevelNames[] = {
    {"spam", LOG_SPAM},       {"debug", LOG_DEBUG}, {"info", LOG_INFO},
    {"warn", LOG_WARN},       {"error", LOG_ERROR}, {"unfiltered", LOG_UNFILTERED},
    {"nothing", LOG_NOTHING},
};

int32_t read_flag(const int32_t *flag)
{
    return __atomic_load_n(flag, __ATOMIC_RELAXED);
}

// Levels and the threshold compare as unsigned, so a negative level from a
// script passes every threshold.
bool below_threshold(int32_t level)
{
    return (uint32_t)level < (uint32_t)SDL_AtomicGet(&g_log.threshold);
}

char level_char(int32_t level)
{
    switch (level) {
    case LOG_SPAM:
        return '.';
    case LOG_DEBUG:
        return '?';
    case LOG_INFO:
        return '-';
    case LOG_WARN:
        return '#';
    case LOG_ERROR:
        return '!';
    case LOG_UNFILTERED:
        return '*';
    default:
        return '?';
    }
}

// Terminal colour code, or 0 for a level without one.
int level_colour(int32_t level)
{
    switch (level) {
    case LOG_SPAM:
        return 30;
    case LOG_DEBUG:
        return 32;
    case LOG_INFO:
        return 37;
    case LOG_WARN:
        return 33;
    case LOG_ERROR:
        return 31;
    case LOG_UNFILTERED:
        return 36;
    default:
        return 0;
    }
}

// Called with g_log.mutex held.
bool subsystem_filtered(const char *subsystem)
{
    if (!subsystem) {
        return false;
    }
    for (int i = 0; i < g_log.filter_count; i++) {
        if (SDL_strcasecmp(g_log.filters[i], subsystem) == 0) {
            return true;
        }
    }
    return false;
}

void lock(void)
{
    if (g_log.mutex) {
        SDL_LockMutex(g_log.mutex);
    }
}

void unlock(void)
{
    if (g_log.mutex) {
        SDL_UnlockMutex(g_log.mutex);
    }
}

void free_filters(void)
{
    for (int i = 0; i < g_log.filter_count; i++) {
        SDL_free(g_log.filters[i]);
    }
    SDL_free(g_log.filters);
    g_log.filters = nullptr;
    g_log.filter_count = 0;
}

// Splits a comma-separated list into a new array of owned, trimmed, distinct
// (ignoring case) names. Returns 0 when memory runs out.
int build_filters(const char *text, char ***out_filters, int *out_count)
{
    *out_filters = nullptr;
    *out_count = 0;
    if (!text || !*text) {
        return 1;
    }
    int capacity = 1;
    for (const char *p = text; *p; p++) {
        capacity += (*p == ',');
    }
    char **filters = (char **)SDL_calloc((size_t)capacity, sizeof(char *));
    if (!filters) {
        return 0;
    }
    int count = 0;
    const char *piece = text;
    while (piece) {
        const char *comma = SDL_strchr(piece, ',');
        const char *end = comma ? comma : piece + SDL_strlen(piece);
        const char *start = piece;
        while (start < end && *start == ' ') {
            start++;
        }
        while (end > start && end[-1] == ' ') {
            end--;
        }
        const size_t length = (size_t)(end - start);
        if (length > 0) {
            char *name = (char *)SDL_malloc(length + 1);
            if (!name) {
                for (int i = 0; i < count; i++) {
                    SDL_free(filters[i]);
                }
                SDL_free(filters);
                return 0;
            }
            SDL_memcpy(name, start, length);
            name[length] = '\0';
            bool seen = false;
            for (int i = 0; i < count && !seen; i++) {
                seen = SDL_strcasecmp(filters[i], name) == 0;
            }
            if (seen) {
                SDL_free(name);
            } else {
                filters[count++] = name;
            }
        }
        piece = comma ? comma + 1 : nullptr;
    }
    *out_filters = filters;
    *out_count = count;
    return 1;
}

void vwrite_formatted(const char *subsystem, int32_t level, const char *format, va_list args)
{
    char *message = vsprintf_alloc(format, args);
    if (message) {
        orv_log_write(subsystem, level, message);
        SDL_free(message);
    }
}

// The message followed by " (detail)".
void vwrite_with_detail(const char *subsystem, int32_t level, const char *detail,
                        const char *format, va_list args)
{
    char *message = vsprintf_alloc(format, args);
    if (!message) {
        return;
    }
    char *full = sprintf_alloc("%s (%s)", message, detail ? detail : "(null)");
    SDL_free(message);
    if (full) {
        orv_log_write(subsystem, level, full);
        SDL_free(full);
    }
}

// Called with publish_mutex held. Gives up on the file after a short write.
void write_to_file(const char *line, size_t length)
{
    if (!g_log.file) {
        return;
    }
    const PHYSFS_sint64 wrote = PHYSFS_writeBytes(g_log.file, line, length);
    const bool ok = wrote == (PHYSFS_sint64)length && PHYSFS_writeBytes(g_log.file, "\n", 1) == 1;
    if (ok) {
        return;
    }
    const PHYSFS_ErrorCode code = PHYSFS_getLastErrorCode();
    PHYSFS_close(g_log.file);
    g_log.file = nullptr;
    PHYSFS_setErrorCode(code);
    log_physfs_error("Engine", LOG_ERROR,
                     "Failed to write log file! Giving up on further logging to this file.");
}

char *format_line(const struct log_entry *entry)
{
    char prefix[32];
    size_t used = 0;
    prefix[0] = '\0';
    if (read_flag(&cvar_log_level_char)) {
        used += (size_t)SDL_snprintf(prefix + used, sizeof(prefix) - used, "%c ",
                                     level_char(entry->level));
    }
    if (read_flag(&cvar_log_timing)) {
        SDL_snprintf(prefix + used, sizeof(prefix) - used, "%.6u ",
                     (unsigned)(entry->ticks / 1000));
    }
    if (read_flag(&cvar_log_subsystem)) {
        return sprintf_alloc("%s[%s] %s", prefix, entry->subsystem, entry->message);
    }
    return sprintf_alloc("%s%s", prefix, entry->message);
}

void publish_and_free_job(void *list)
{
    struct log_entry *entries = (struct log_entry *)list;
    log_publish(entries);
    log_free_entries(entries);
}

} // namespace

int log_init(void)
{
    if (SDL_AtomicGet(&g_log.initialised)) {
        return 1;
    }
    SDL_mutex *mutex = SDL_CreateMutex();
    if (!mutex) {
        return 0;
    }
    SDL_mutex *publish_mutex = SDL_CreateMutex();
    if (!publish_mutex) {
        SDL_DestroyMutex(mutex);
        return 0;
    }
    g_log.mutex = mutex;
    g_log.publish_mutex = publish_mutex;
    g_log.head = nullptr;
    g_log.tail = nullptr;
    g_log.filters = nullptr;
    g_log.filter_count = 0;
    g_log.file = nullptr;
    SDL_AtomicSet(&g_log.ready, 0);
    SDL_AtomicSet(&g_log.threshold, LOG_DEBUG);
    SDL_AtomicSet(&g_log.initialised, 1);

    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    current_datetime(&year, &month, &day, &hour, &minute, &second);
    log_unfiltered("Engine", "Log started at %d/%d/%d %d:%d:%d", year, month, day, hour, minute,
                   second);
    log_unfiltered("Engine", "%s game engine", ORV_PRODUCT_NAME);
    log_unfiltered("Engine", "  Version: %s", ORV_VERSION);
    log_unfiltered("Engine", "  GIT Hash: %s", ORV_GIT_HASH);
    log_unfiltered("Engine", "  Build Date: %s %s", ORV_BUILD_DATE, ORV_BUILD_TIME);
    log_unfiltered("Engine", "Platform: %s", SDL_GetPlatform());
    log_unfiltered("Engine", "%s", "");
    return 1;
}

int log_configure(const struct log_settings *settings)
{
    if (!SDL_AtomicGet(&g_log.initialised) || !settings) {
        return 0;
    }
    const char *fallback = settings->production ? "info" : "debug";
    int32_t threshold = settings->production ? LOG_INFO : LOG_DEBUG;
    if (settings->level) {
        bool known = false;
        for (const level_name &entry : kLevelNames) {
            if (SDL_strcmp(entry.name, settings->level) == 0) {
                threshold = entry.level;
                known = true;
                break;
            }
        }
        if (!known) {
            log_error("Engine", "Cvar log.level value '%s' is unknown. Defaulting to '%s'.",
                      settings->level, fallback);
        }
    }
    SDL_AtomicSet(&g_log.threshold, threshold);

    char **filters = nullptr;
    int filter_count = 0;
    if (!build_filters(settings->filter_subsystems, &filters, &filter_count)) {
        return 0;
    }
    lock();
    free_filters();
    g_log.filters = filters;
    g_log.filter_count = filter_count;
    unlock();

    const char *name = settings->filename;
    if (name && *name && PHYSFS_isInit()) {
        char *path = SDL_strchr(name, '/') ? SDL_strdup(name) : sprintf_alloc("logs/%s", name);
        if (!path) {
            return 0;
        }
        // A name with folders gets them created, as "logs" is for plain names.
        char *slash = SDL_strrchr(path, '/');
        if (slash && slash != path) {
            *slash = '\0';
            PHYSFS_mkdir(path);
            *slash = '/';
        }
        PHYSFS_File *file = PHYSFS_openWrite(path);
        SDL_LockMutex(g_log.publish_mutex);
        if (g_log.file) {
            PHYSFS_close(g_log.file);
        }
        g_log.file = file;
        SDL_UnlockMutex(g_log.publish_mutex);
        if (!file) {
            log_physfs_error("Engine", LOG_ERROR, "Failed to open logfile '%s'", path);
            log_error("Engine",
                      "Continuing on without log file, hoping this log info is going elsewhere, "
                      "too.");
        }
        SDL_free(path);
    }

    lock();
    SDL_AtomicSet(&g_log.ready, 1);
    struct log_entry **link = &g_log.head;
    struct log_entry *last = nullptr;
    while (*link) {
        struct log_entry *entry = *link;
        if (below_threshold(entry->level) || subsystem_filtered(entry->subsystem)) {
            *link = entry->next;
            SDL_free(entry);
        } else {
            last = entry;
            link = &entry->next;
        }
    }
    g_log.tail = last;
    unlock();
    return 1;
}

int log_is_ready(void)
{
    return SDL_AtomicGet(&g_log.ready);
}

void log_set_emergency_ready_hook(int (*hook)(void))
{
    g_log.emergency_ready_hook = hook;
}

#define LOG_WRITER(fn, level)                                                                      \
    void fn(const char *subsystem, const char *format, ...)                                        \
    {                                                                                              \
        if (below_threshold(level)) {                                                              \
            return;                                                                                \
        }                                                                                          \
        va_list args;                                                                              \
        va_start(args, format);                                                                    \
        vwrite_formatted(subsystem, level, format, args);                                          \
        va_end(args);                                                                              \
    }

LOG_WRITER(log_spam, LOG_SPAM)
LOG_WRITER(log_debug, LOG_DEBUG)
LOG_WRITER(log_info, LOG_INFO)
LOG_WRITER(log_warn, LOG_WARN)
LOG_WRITER(log_error, LOG_ERROR)
LOG_WRITER(log_unfiltered, LOG_UNFILTERED)

#undef LOG_WRITER

void log_sdl_error(const char *subsystem, int32_t level, const char *format, ...)
{
    const char *detail = SDL_GetError();
    va_list args;
    va_start(args, format);
    vwrite_with_detail(subsystem, level, detail ? detail : "no error", format, args);
    va_end(args);
}

void log_physfs_error(const char *subsystem, int32_t level, const char *format, ...)
{
    const char *detail = PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
    va_list args;
    va_start(args, format);
    vwrite_with_detail(subsystem, level, detail, format, args);
    va_end(args);
}

void log_multiline(const char *subsystem, int32_t level, const char *text)
{
    if (!text) {
        return;
    }
    char *copy = SDL_strdup(text);
    if (!copy) {
        orv_log_write(subsystem, level, text);
        return;
    }
    char *line = copy;
    for (;;) {
        char *newline = SDL_strchr(line, '\n');
        if (newline) {
            *newline = '\0';
        }
        if (newline || *line || line == copy) {
            orv_log_write(subsystem, level, line);
        }
        if (!newline) {
            break;
        }
        line = newline + 1;
        if (!*line) {
            break; // the text ended with '\n'
        }
    }
    SDL_free(copy);
}

void log_limited(int *counter, const char *subsystem, int32_t level, const char *format, ...)
{
    if (!counter || __atomic_load_n(counter, __ATOMIC_RELAXED) > 29) {
        return;
    }
    lock();
    const int calls = *counter;
    if (calls > 29) {
        unlock();
        return;
    }
    __atomic_store_n(counter, calls + 1, __ATOMIC_RELAXED);
    if (!below_threshold(level)) {
        va_list args;
        va_start(args, format);
        vwrite_formatted(subsystem, level, format, args);
        va_end(args);
        if (calls == 29) {
            orv_log_write(subsystem, level, kTooMany);
        }
    }
    unlock();
}

void orv_log_write(const char *subsystem, int32_t level, const char *message)
{
    if (!SDL_AtomicGet(&g_log.initialised)) {
        return;
    }
    const bool ready = SDL_AtomicGet(&g_log.ready) != 0;
    if (ready && below_threshold(level)) {
        return;
    }
    if (!subsystem) {
        subsystem = "???";
    }
    if (!message) {
        message = "(null)";
    }
    const size_t subsystem_length = SDL_strlen(subsystem);
    const size_t message_length = SDL_strlen(message);
    const size_t size = sizeof(struct log_entry) + subsystem_length + 1 + message_length + 1;
    struct log_entry *entry = (struct log_entry *)SDL_malloc(size);
    if (!entry) {
        return;
    }
    char *text = (char *)(entry + 1);
    SDL_memcpy(text, subsystem, subsystem_length + 1);
    SDL_memcpy(text + subsystem_length + 1, message, message_length + 1);
    entry->level = level;
    entry->subsystem = text;
    entry->message = text + subsystem_length + 1;
    entry->next = nullptr;

    lock();
    if (ready && subsystem_filtered(subsystem)) {
        unlock();
        SDL_free(entry);
        return;
    }
    entry->ticks = SDL_GetTicks();
    if (g_log.tail) {
        g_log.tail->next = entry;
    } else {
        g_log.head = entry;
    }
    g_log.tail = entry;
    unlock();
}

int log_should_be_filtered(const char *subsystem, int32_t level)
{
    if (!SDL_AtomicGet(&g_log.initialised)) {
        return 1;
    }
    if (!SDL_AtomicGet(&g_log.ready)) {
        return 0;
    }
    if (below_threshold(level)) {
        return 1;
    }
    if (!subsystem) {
        return 0;
    }
    lock();
    const bool filtered = subsystem_filtered(subsystem);
    unlock();
    return filtered ? 1 : 0;
}

struct log_entry *log_get_entries(void)
{
    if (!SDL_AtomicGet(&g_log.initialised)) {
        return nullptr;
    }
    lock();
    struct log_entry *list = g_log.head;
    g_log.head = nullptr;
    g_log.tail = nullptr;
    unlock();
    return list;
}

void log_publish(const struct log_entry *list)
{
    if (!list) {
        return;
    }
    SDL_mutex *publish_mutex = g_log.publish_mutex;
    if (publish_mutex) {
        SDL_LockMutex(publish_mutex);
    }
    for (const struct log_entry *entry = list; entry; entry = entry->next) {
        char *line = format_line(entry);
        if (!line) {
            continue;
        }
        write_to_file(line, SDL_strlen(line));
        if (read_flag(&cvar_log_stdout)) {
            const int colour = level_colour(entry->level);
            if (read_flag(&cvar_log_stdout_color) && colour) {
                printf("\33[%dm%s\33[m\n", colour, line);
            } else {
                puts(line);
            }
            fflush(stdout);
        }
        SDL_free(line);
    }
    if (publish_mutex) {
        SDL_UnlockMutex(publish_mutex);
    }
}

void log_free_entries(struct log_entry *list)
{
    while (list) {
        struct log_entry *next = list->next;
        SDL_free(list);
        list = next;
    }
}

void log_hand_off_pending(void (*each)(void *user, int32_t level, uint32_t ticks,
                                       const char *subsystem, const char *message),
                          void *user)
{
    struct log_entry *list = log_get_entries();
    if (!list) {
        return;
    }
    if (each) {
        for (const struct log_entry *entry = list; entry; entry = entry->next) {
            each(user, entry->level, entry->ticks, entry->subsystem, entry->message);
        }
    }
    if (!janitor_queue_job(publish_and_free_job, list, -1, 0)) {
        static int failures = 0;
        log_limited(&failures, "Engine", LOG_WARN,
                    "Failed to start janitor job to publish logs, have to do it immediately on "
                    "the simulation thread...");
        publish_and_free_job(list);
    }
}

int log_quit(void)
{
    if (!SDL_AtomicGet(&g_log.initialised)) {
        return 0;
    }
    orv_log_write("Engine", LOG_UNFILTERED, kShuttingDown);
    struct log_entry *list = log_get_entries();
    log_publish(list);
    log_free_entries(list);

    SDL_AtomicSet(&g_log.initialised, 0);
    SDL_AtomicSet(&g_log.ready, 0);
    SDL_LockMutex(g_log.publish_mutex);
    if (g_log.file) {
        PHYSFS_close(g_log.file);
        g_log.file = nullptr;
    }
    SDL_UnlockMutex(g_log.publish_mutex);
    lock();
    // Entries written by other threads between the last detach and the flag.
    log_free_entries(g_log.head);
    g_log.head = nullptr;
    g_log.tail = nullptr;
    free_filters();
    unlock();
    SDL_DestroyMutex(g_log.publish_mutex);
    SDL_DestroyMutex(g_log.mutex);
    g_log.publish_mutex = nullptr;
    g_log.mutex = nullptr;
    return 0;
}

void log_emergency_quit(void)
{
    if (!SDL_AtomicGet(&g_log.initialised)) {
        return;
    }
    if (!SDL_AtomicGet(&g_log.ready) && g_log.emergency_ready_hook) {
        g_log.emergency_ready_hook();
    }
    log_quit();
}
