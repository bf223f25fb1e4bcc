// Readers of the two key=value formats: cvar files ("metadata/cvars.txt",
// "user_cvars.txt") and the game's identity file ("metadata/game_metadata.txt"),
// both read whole through the virtual file system.
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>

#include "config/config.h"
#include "config/config_internal.h"
#include "log/log.h"
#include "util/util.h"

namespace
{

void (*g_fatal_handler)(const char *message) = nullptr;

const char *const kRequiredKeys[] = {"devid", "devtitle", "gameid", "gametitle", "version"};

// Leaves through the process's fatal exit; never returns unless a handler does.
void fatal(const char *message)
{
    if (g_fatal_handler) {
        g_fatal_handler(message);
        return;
    }
    log_emergency_quit();
    fprintf(stderr, "%s\n", message);
    fflush(stderr);
    exit(1);
}

bool has_prefix_ignoring_case(const char *text, const char *prefix)
{
    return SDL_strncasecmp(text, prefix, SDL_strlen(prefix)) == 0;
}

void lock_metadata_cvars(void)
{
    for (int i = 0; i < config_metadata_cvar_count; i++) {
        cvar_lock(config_metadata_cvars[i].name);
    }
}

} // namespace

char **split_textfile_into_lines(const char *path, int *out_count)
{
    if (out_count) {
        *out_count = 0;
    }
    size_t length = 0;
    char *buffer = path ? loadfile(path, &length) : nullptr;
    if (!buffer) {
        return nullptr;
    }
    int count = 1;
    for (size_t i = 0; i < length; i++) {
        if (buffer[i] == '\n' || (buffer[i] == '\r' && buffer[i + 1] != '\n')) {
            count++;
        }
    }
    char **lines = (char **)SDL_malloc(sizeof(char *) * ((size_t)count + 1));
    if (!lines) {
        SDL_free(buffer);
        return nullptr;
    }
    int line = 0;
    lines[line++] = buffer;
    for (size_t i = 0; i < length; i++) {
        if (buffer[i] == '\r' && buffer[i + 1] == '\n') {
            buffer[i] = '\0';
        } else if (buffer[i] == '\n' || buffer[i] == '\r') {
            buffer[i] = '\0';
            lines[line++] = buffer + i + 1;
        }
    }
    lines[line] = nullptr;
    if (out_count) {
        *out_count = count;
    }
    return lines;
}

void free_split_textfile(char **lines)
{
    if (lines) {
        SDL_free(lines[0]);
        SDL_free(lines);
    }
}

int split_key_value_string(char *line, char **key, char **value)
{
    *key = nullptr;
    *value = nullptr;
    while (*line && SDL_isspace((unsigned char)*line)) {
        line++;
    }
    if (*line == '\0' || *line == '#' || *line == ';') {
        return 1;
    }
    char *equals = SDL_strchr(line, '=');
    if (!equals || equals == line) {
        return 0;
    }
    char *key_end = equals;
    while (key_end > line && SDL_isspace((unsigned char)key_end[-1])) {
        key_end--;
    }
    *key_end = '\0';
    char *start = equals + 1;
    while (*start && SDL_isspace((unsigned char)*start)) {
        start++;
    }
    char *end = start + SDL_strlen(start);
    while (end > start && SDL_isspace((unsigned char)end[-1])) {
        end--;
    }
    *end = '\0';
    *key = line;
    *value = start;
    return 1;
}

void load_cvars_from_file(const char *path)
{
    int count = 0;
    char **lines = split_textfile_into_lines(path, &count);
    if (!lines) {
        return;
    }
    log_debug("Engine", "Loading cvars from file '%s' ...", path);
    for (int i = 0; i < count; i++) {
        char *key = nullptr;
        char *value = nullptr;
        if (!split_key_value_string(lines[i], &key, &value)) {
            log_warn("Engine", "%s: invalid data on line %u, ignored", path, (unsigned)(i + 1));
        } else if (key) {
            log_debug("Engine", "File '%s' line %d setting cvar '%s' to '%s'", path, i + 1, key,
                      value);
            cvar_set(key, value);
        }
    }
    log_debug("Engine", "File '%s' complete", path);
    free_split_textfile(lines);
}

int load_metadata(const char *path)
{
    int count = 0;
    char **lines = split_textfile_into_lines(path, &count);
    if (!lines) {
        return 0;
    }
    for (int i = 0; i < config_metadata_cvar_count; i++) {
        cvar_unlock(config_metadata_cvars[i].name);
        cvar_set(config_metadata_cvars[i].name, config_metadata_cvars[i].default_text);
    }

    int result = 1;
    bool seen[SDL_arraysize(kRequiredKeys)] = {};
    for (int i = 0; i < count; i++) {
        const int line = i + 1;
        char *key = nullptr;
        char *value = nullptr;
        if (!split_key_value_string(lines[i], &key, &value)) {
            log_warn("Engine", "Invalid metadata on line %u, ignored", (unsigned)line);
            continue;
        }
        if (!key) {
            continue;
        }
        const bool steam = has_prefix_ignoring_case(key, "steam.");
        if (steam || has_prefix_ignoring_case(key, "itchio.")) {
            char *message = sprintf_alloc("%s publishing details in game_metadata.txt line %d!",
                                          steam ? "Steam" : "Itch.io", line);
            log_error("Engine", "%s",
                      message ? message : "Publishing details in game_metadata.txt!");
            log_error("Engine",
                      "This info must be in %s_metadata.txt or they will be published with your "
                      "game!",
                      steam ? "steam" : "itchio");
            log_error("Engine", "Quitting now so you know to FIX THIS RIGHT NOW.");
            fatal(message ? message : "Publishing details in game_metadata.txt!");
            // Only a handler that returns gets here.
            SDL_free(message);
            free_split_textfile(lines);
            lock_metadata_cvars();
            return 0;
        }
        const metadata_cvar *match = nullptr;
        for (int m = 0; m < config_metadata_cvar_count && !match; m++) {
            const char *k = config_metadata_cvars[m].key;
            if (k && SDL_strcasecmp(k, key) == 0) {
                match = &config_metadata_cvars[m];
            }
        }
        if (!match) {
            log_warn("Engine", "Unknown game metadata key '%s', ignoring", key);
            continue;
        }
        cvar_set(match->name, value);
        for (size_t r = 0; r < SDL_arraysize(kRequiredKeys); r++) {
            if (SDL_strcmp(kRequiredKeys[r], match->key) == 0) {
                seen[r] = true;
            }
        }
    }
    for (bool s : seen) {
        if (!s) {
            log_error("Engine", "Metadata file does not have all required fields!");
            result = 0;
            break;
        }
    }

    char *packageid = cvar_get_string_copy("game_metadata.packageid");
    if (!packageid || !*packageid) {
        char *devid = cvar_get_string_copy("game_metadata.devid");
        char *gameid = cvar_get_string_copy("game_metadata.gameid");
        char *derived = sprintf_alloc("org.%s.%s", devid ? devid : "", gameid ? gameid : "");
        if (!derived || !cvar_set("game_metadata.packageid", derived)) {
            result = 0;
        }
        SDL_free(derived);
        SDL_free(devid);
        SDL_free(gameid);
    }
    SDL_free(packageid);

    free_split_textfile(lines);
    lock_metadata_cvars();
    return result;
}

void config_set_fatal_handler(void (*handler)(const char *message))
{
    g_fatal_handler = handler;
}
