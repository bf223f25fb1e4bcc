// The engine's built-in cvars: renderer and web server, game metadata, and the
// log.* cvars that log_ready registers with the log's own storage.
#include <SDL.h>
#include <unistd.h>

#include "config/config.h"
#include "config/config_internal.h"
#include "log/log.h"
#include "util/util.h"

int32_t cvar_renderer_fullscreen = 0;
int32_t cvar_renderer_borderless = 0;
int32_t cvar_renderer_start_headless = 0;
int32_t cvar_renderer_vsync = 1;
uint32_t cvar_renderer_background_sleep = 50;
uint32_t cvar_webserver_port = 9001;
int32_t cvar_webserver_enabled = 0;
int32_t cvar_webserver_remote_clients = 0;

char *cvar_game_metadata_devid = nullptr;
char *cvar_game_metadata_devtitle = nullptr;
char *cvar_game_metadata_gameid = nullptr;
char *cvar_game_metadata_gametitle = nullptr;
char *cvar_game_metadata_version = nullptr;
char *cvar_game_metadata_icon = nullptr;
char *cvar_game_metadata_readme = nullptr;
int32_t cvar_game_metadata_deployment = 0;
int32_t cvar_game_metadata_compile_ruby = 0;
char *cvar_game_metadata_packageid = nullptr;
int32_t cvar_game_metadata_vrmode = 0;
int32_t cvar_game_metadata_hd = 0;
int32_t cvar_game_metadata_allscreen = 0;
int32_t cvar_game_metadata_hd_letterbox = 1;
int32_t cvar_game_metadata_hd_max_scale = 0;
int32_t cvar_game_metadata_allscreen_max_scale = 100;
int32_t cvar_game_metadata_scale_quality = 0;
int32_t cvar_game_metadata_highdpi = 0;
char *cvar_game_metadata_orientation = nullptr;
char *cvar_game_metadata_sprites_directory = nullptr;
int32_t cvar_game_metadata_remote_hotload = 0;
char *cvar_game_metadata_ignore_directories = nullptr;
int32_t cvar_game_metadata_ignore_directories_recursively = 0;
char *cvar_game_metadata_orientation_android = nullptr;
char *cvar_game_metadata_orientation_ios = nullptr;
int32_t cvar_game_metadata_orientation_both = 0;
char *cvar_game_metadata_orientation_on_startup = nullptr;
char *cvar_game_metadata_orientation_current = nullptr;

namespace
{

struct builtin_cvar {
    const char *name;
    int type;
    const char *default_text;
    const char *description;
    void *storage;
};

const builtin_cvar kRendererCvars[] = {
    {"renderer.fullscreen", CVAR_TYPE_BOOL, "false", "True if we should use the whole display",
     &cvar_renderer_fullscreen},
    {"renderer.borderless", CVAR_TYPE_BOOL, "false",
     "True if non-fullscreen windows should be borderless", &cvar_renderer_borderless},
    {"renderer.start_headless", CVAR_TYPE_BOOL, "false",
     "True if we shouldn't show a window at startup", &cvar_renderer_start_headless},
    {"renderer.vsync", CVAR_TYPE_BOOL, "true", "True if we should sync-to-vblank when presenting",
     &cvar_renderer_vsync},
    {"renderer.background_sleep", CVAR_TYPE_UINT, "50",
     "Milliseconds to sleep per frame when in the background (zero to disable)",
     &cvar_renderer_background_sleep},
    {"webserver.port", CVAR_TYPE_UINT, "9001",
     "Default port the webserver will listen on if enabled", &cvar_webserver_port},
    {"webserver.enabled", CVAR_TYPE_BOOL, "false",
     "If True, the web server will be started in dev mode.", &cvar_webserver_enabled},
    {"webserver.remote_clients", CVAR_TYPE_BOOL, "false",
     "If True, the web server will respond to http requests other than local host.",
     &cvar_webserver_remote_clients},
};

} // namespace

const struct metadata_cvar config_metadata_cvars[] = {
    {"devid", "game_metadata.devid", CVAR_TYPE_STRING, "orvane", "Developer ID (simple identifier)",
     &cvar_game_metadata_devid},
    {"devtitle", "game_metadata.devtitle", CVAR_TYPE_STRING, "Orvane LLC", "Actual developer name",
     &cvar_game_metadata_devtitle},
    {"gameid", "game_metadata.gameid", CVAR_TYPE_STRING, "hello-SDL", "Game ID (simple identifier)",
     &cvar_game_metadata_gameid},
    {"gametitle", "game_metadata.gametitle", CVAR_TYPE_STRING,
     "Update metadata/game_metadata.txt in your mygame directory to change this title.",
     "Actual game name", &cvar_game_metadata_gametitle},
    {"version", "game_metadata.version", CVAR_TYPE_STRING, "1.0", "Game's version number",
     &cvar_game_metadata_version},
    {"icon", "game_metadata.icon", CVAR_TYPE_STRING, "metadata/icon.png", "Game's icon filename",
     &cvar_game_metadata_icon},
    {"readme", "game_metadata.readme", CVAR_TYPE_STRING, "", "Game's README filename",
     &cvar_game_metadata_readme},
    {nullptr, "game_metadata.deployment", CVAR_TYPE_BOOL, "false",
     "True if this is a production build", &cvar_game_metadata_deployment},
    {"compile_ruby", "game_metadata.compile_ruby", CVAR_TYPE_BOOL, "false",
     "True if production builds cook Ruby source code", &cvar_game_metadata_compile_ruby},
    {"packageid", "game_metadata.packageid", CVAR_TYPE_STRING, "",
     "Package ID in reverse-domain format", &cvar_game_metadata_packageid},
    {"vrmode", "game_metadata.vrmode", CVAR_TYPE_INT, "0", "VR mode", &cvar_game_metadata_vrmode},
    {"hd", "game_metadata.hd", CVAR_TYPE_BOOL, "false", "True if hd rendering should be used.",
     &cvar_game_metadata_hd},
    {"allscreen", "game_metadata.allscreen", CVAR_TYPE_BOOL, "false",
     "True if letter boxing should be removed (allowing rendering outside of the 16:9 safe "
     "area). hd=true must be set for allscreen to be respected.",
     &cvar_game_metadata_allscreen},
    {"hd_letterbox", "game_metadata.hd_letterbox", CVAR_TYPE_BOOL, "true",
     "0 = Removes letterbox allowing you to see things rendered outside of the screen. 1 = "
     "Renders letterbox.",
     &cvar_game_metadata_hd_letterbox},
    {"hd_max_scale", "game_metadata.hd_max_scale", CVAR_TYPE_INT, "0",
     "Provides the maximum scale allowed 16:9 safe area for game.",
     &cvar_game_metadata_hd_max_scale},
    {"allscreen_max_scale", "game_metadata.allscreen_max_scale", CVAR_TYPE_INT, "100",
     "Provides the maximum scale allowed 16:9 safe area for game.",
     &cvar_game_metadata_allscreen_max_scale},
    {"scale_quality", "game_metadata.scale_quality", CVAR_TYPE_INT, "0",
     "Defines the render scale quality for sprites. scale_quality=0 (default) is nearest "
     "neighbor, scalequality=1 is linear, scalequality=2 is antialiased.",
     &cvar_game_metadata_scale_quality},
    {"highdpi", "game_metadata.highdpi", CVAR_TYPE_BOOL, "false",
     "If set to true, game will be rendered with High DPI.", &cvar_game_metadata_highdpi},
    {"orientation", "game_metadata.orientation", CVAR_TYPE_STRING, "landscape",
     "Valid values are landscape, or portrait. You can provide both values seperated by a comma "
     "if you want to support both orientations. The value first in the list will be the "
     "starting/default orientation.",
     &cvar_game_metadata_orientation},
    {"sprites_directory", "game_metadata.sprites_directory", CVAR_TYPE_STRING, "sprites",
     "The directory that will recursively searched for texture atlases.",
     &cvar_game_metadata_sprites_directory},
    {nullptr, "game_metadata.remote_hotload", CVAR_TYPE_BOOL, "false",
     "True if remote hotloading should be enabled in build.", &cvar_game_metadata_remote_hotload},
    {"ignore_directories", "game_metadata.ignore_directories", CVAR_TYPE_STRING, "",
     "A comma delimited list of directories that should be ignored during the publishing process "
     "(eg: ignore_directories=tmp,saves,dev,assets). IMPORTANT: Any directory that matches the "
     "ignore list will be ignored REGARDLESS OF HIERARCHY.",
     &cvar_game_metadata_ignore_directories},
    {"ignore_directories_recursively", "game_metadata.ignore_directories_recursively",
     CVAR_TYPE_BOOL, "false",
     "True if the list of ignored directories should be applied recursively to child "
     "directories (default value is false).",
     &cvar_game_metadata_ignore_directories_recursively},
    {"orientation_android", "game_metadata.orientation_android", CVAR_TYPE_STRING, "",
     "Override for orientation of game for Android. If provided, this value will be used for the "
     "orientation on Android (overrides the value provided in orientation=VALUE).",
     &cvar_game_metadata_orientation_android},
    {"orientation_ios", "game_metadata.orientation_ios", CVAR_TYPE_STRING, "",
     "Override for orientation of game for iOS. If provided, this value will be used for the "
     "orientation on Android (overrides the value provided in orientation=VALUE).",
     &cvar_game_metadata_orientation_ios},
    {nullptr, "game_metadata.orientation_both", CVAR_TYPE_BOOL, "false",
     "Internal flag denoting whether or not both landscape and portrait is supported.",
     &cvar_game_metadata_orientation_both},
    {nullptr, "game_metadata.orientation_on_startup", CVAR_TYPE_STRING, "landscape",
     "The orientation the game starts in; landscape when orientation lists both values.",
     &cvar_game_metadata_orientation_on_startup},
    {nullptr, "game_metadata.orientation_current", CVAR_TYPE_STRING, "landscape",
     "The current orientation of the game. It changes at run time when orientation lists both "
     "values or when $zel.toggle_orientation is called.",
     &cvar_game_metadata_orientation_current},
};

const int config_metadata_cvar_count =
    (int)(sizeof(config_metadata_cvars) / sizeof(config_metadata_cvars[0]));

int register_renderer_cvars(void)
{
    for (const builtin_cvar &c : kRendererCvars) {
        if (!cvar_register(c.name, c.type, c.description, c.storage, c.default_text)) {
            return 0;
        }
    }
    return 1;
}

int register_metadata_cvars(void)
{
    // From here on the fatal exit can finish the log from the cvars.
    log_set_emergency_ready_hook(log_ready);
    for (int i = 0; i < config_metadata_cvar_count; i++) {
        const metadata_cvar &c = config_metadata_cvars[i];
        if (!cvar_register(c.name, c.type, c.description, c.storage, c.default_text)) {
            return 0;
        }
        cvar_lock(c.name);
    }
    return 1;
}

int log_ready(void)
{
    char *gameid = cvar_get_string_copy("game_metadata.gameid");
    if (!gameid) {
        SDL_SetError("The cvar game_metadata.gameid is not registered");
        return 0;
    }
    char *default_filename = sprintf_alloc("%s.log", gameid);
    SDL_free(gameid);
    if (!default_filename) {
        SDL_OutOfMemory();
        return 0;
    }
    const int32_t *deployment = cvar_get_bool("game_metadata.deployment");
    const int production = deployment && *deployment;
    const int terminal = isatty(1);

    const builtin_cvar log_cvars[] = {
        {"log.filename", CVAR_TYPE_STRING, default_filename, "filename to write log data to",
         &cvar_log_filename},
        {"log.level", CVAR_TYPE_STRING, production ? "info" : "debug",
         "One of [spam, debug, info, warn, error, unfiltered, nothing]. Filter out everything "
         "less than.",
         &cvar_log_level},
        {"log.filter_subsystems", CVAR_TYPE_STRING, "",
         "Comma-separated list of subsystems to ignore logging for", &cvar_log_filter_subsystems},
        {"log.stdout", CVAR_TYPE_BOOL, production ? "false" : "true",
         "True if we should write logs to stdout", &cvar_log_stdout},
        {"log.timing", CVAR_TYPE_BOOL, "false",
         "True if we should include the timing in the log output", &cvar_log_timing},
        {"log.level_char", CVAR_TYPE_BOOL, "true",
         "True if we should include the logging level character in the log output",
         &cvar_log_level_char},
        {"log.subsystem", CVAR_TYPE_BOOL, "true",
         "True if we should include the subsystem name in the log output", &cvar_log_subsystem},
        {"log.stdout_color", CVAR_TYPE_BOOL, terminal ? "true" : "false",
         "True if we should colorize logs sent to stdout", &cvar_log_stdout_color},
    };
    int ok = 1;
    for (const builtin_cvar &c : log_cvars) {
        if (!cvar_register(c.name, c.type, c.description, c.storage, c.default_text)) {
            ok = 0;
            break;
        }
    }
    SDL_free(default_filename);
    if (!ok) {
        return 0;
    }
    cvar_lock("log.filename");
    cvar_lock("log.level");
    cvar_lock("log.filter_subsystems");

    // The three texts are locked, so they stay put while the log reads them.
    struct log_settings settings;
    settings.level = cvar_log_level;
    settings.production = production;
    settings.filter_subsystems = cvar_log_filter_subsystems;
    settings.filename = cvar_log_filename;
    return log_configure(&settings);
}
