// Start-up, the fatal start-up exit, the crash handler and shutdown.
#include "process/process.h"

#include "audio/audio.h"
#include "config/config.h"
#include "janitor/janitor.h"
#include "log/log.h"
#include "process/game.h"
#include "process/process_internal.h"
#include "render/render.h"
#include "stream/stream.h"
#include "util/physfsrwops.h"
#include "util/util.h"

#include <execinfo.h>
#include <physfs.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

SDL_atomic_t atomic_is_first_simulation_iteration;
SDL_atomic_t atomic_last_completed_global_tick_count;
SDL_atomic_t sleep_occurred_flag;
SDL_atomic_t wake_occurred_flag;
SDL_atomic_t atomic_resize_occurred;
SDL_atomic_t atomic_a11y_activation_occurred_at;

struct render_context *process_render_context;
struct threadstream *process_current_scene;
struct process_strings process_saved;

namespace {

constexpr size_t argument_line_size = 1024;
constexpr int crash_frames = 10;

struct startup_state {
    int production_switch;
    const char *game_dir_arg;  // first non-switch argument, or null
    char *mygame_dir;  // "%s/mygame" when found beside the executable
};

struct startup_state g_startup;
SDL_atomic_t g_sigpipe_ignored;

// Crash handler: only async-signal-safe calls (write, backtrace on a
// pre-loaded libgcc, backtrace_symbols_fd, _exit).
void crash_signal_handler(int signal_number)
{
    void *frames[crash_frames];
    const int count = backtrace(frames, crash_frames);
    char text[32] = "Error: signal ";
    size_t len = strlen(text);
    char digits[12];
    int n = 0;
    unsigned value = (unsigned)signal_number;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value && n < (int)sizeof(digits));
    while (n > 0 && len < sizeof(text) - 3) {
        text[len++] = digits[--n];
    }
    text[len++] = ':';
    text[len++] = '\n';
    ssize_t ignored = write(2, text, len);
    (void)ignored;
    backtrace_symbols_fd(frames, count, 2);
    _exit(1);
}

const char *physfs_error_text(void)
{
    const char *text = PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
    return text ? text : "unknown error";
}

// Strips every leading '-'; the switch name that remains.
const char *switch_name(const char *arg)
{
    while (*arg == '-') {
        arg++;
    }
    return arg;
}

void parse_command_line(int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (arg[0] != '-') {
            if (!g_startup.game_dir_arg) {
                g_startup.game_dir_arg = arg;
            }
            continue;
        }
        if (!g_startup.game_dir_arg) {
            startup_failure("The game directory must be provided as the first argument to "
                            "./orvane if you want to use switches.");
        }
        const char *name = switch_name(arg);
        if (strcmp(name, "fullscreen") == 0) {
            cvar_set("renderer.fullscreen", "true");
        } else if (strcmp(name, "windowed") == 0) {
            cvar_set("renderer.fullscreen", "false");
        } else if (strcmp(name, "no-tick") == 0 || strcmp(name, "test") == 0) {
            cvar_set("renderer.start_headless", "true");
        } else if (strcmp(name, "production") == 0) {
            g_startup.production_switch = 1;
        } else if (strcmp(name, "set") == 0) {
            if (i + 2 >= argc) {
                return;  // a name without a value sets nothing and ends parsing
            }
            cvar_set(argv[i + 1], argv[i + 2]);
            i += 2;
        }
        // "eval" and anything else reach the scripts through the argument line.
    }
}

// Writes an engine-owned locked cvar; it stays locked for everyone else.
void set_locked_cvar(const char *name, const char *value)
{
    cvar_set_forced(name, value);
}

void normalise_orientation(void)
{
    char *o = cvar_get_string_copy("game_metadata.orientation");
    const char *current = o ? o : "landscape";
    const char *both = "false";
    if (strcmp(current, "portrait,landscape") == 0) {
        current = "portrait";
        both = "true";
    } else if (strcmp(current, "landscape,portrait") == 0) {
        current = "landscape";
        both = "true";
    }
    set_locked_cvar("game_metadata.orientation_current", current);
    set_locked_cvar("game_metadata.orientation_both", both);
    set_locked_cvar("game_metadata.orientation_on_startup", current);
    SDL_free(o);
}

int marker_present(const char *path)
{
    PHYSFS_Stat st;
    return PHYSFS_stat(path, &st) && st.modtime > 0;
}

// The running executable itself, so an archive appended to it is found even
// when it was started through PATH (argv[0] is then not a path).
char *executable_path(const char *argv0)
{
    char buffer[4096];
    const ssize_t len = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (len > 0) {
        buffer[len] = '\0';
        return SDL_strdup(buffer);
    }
    return argv0 ? SDL_strdup(argv0) : nullptr;
}

void mount_file_system(int argc, char **argv, char **base_path_out)
{
    if (!util_physfs_use_sdl_allocator()) {
        startup_failure("PHYSFS_setAllocator failed: %s", physfs_error_text());
    }
    if (!PHYSFS_init(argc > 0 ? argv[0] : nullptr)) {
        startup_failure("PHYSFS_init failed: %s", physfs_error_text());
    }
    char *self = executable_path(argc > 0 ? argv[0] : nullptr);
    if (self) {
        PHYSFS_mount(self, nullptr, 0);  // no archive appended: adds nothing
        SDL_free(self);
    }

    char *base = SDL_GetBasePath();
    if (!base) {
        startup_failure("Couldn't find installation directory: %s", SDL_GetError());
    }
    if (!PHYSFS_mount(base, nullptr, 0)) {
        startup_failure("Couldn't mount installation directory: %s", physfs_error_text());
    }
    if (!g_startup.production_switch && chdir(base) != 0) {
        log_warn("Engine", "Couldn't change the working directory to '%s'", base);
    }
    if (g_startup.game_dir_arg) {
        if (!PHYSFS_mount(g_startup.game_dir_arg, nullptr, 0)) {
            startup_failure("Couldn't mount '%s' directory: %s", g_startup.game_dir_arg,
                            physfs_error_text());
        }
    } else if (!PHYSFS_exists("app") && PHYSFS_exists("mygame")) {
        g_startup.mygame_dir = sprintf_alloc("%smygame", base);
        if (!g_startup.mygame_dir) {
            startup_failure("Out of memory!");
        }
        if (!PHYSFS_mount(g_startup.mygame_dir, nullptr, 0)) {
            startup_failure("Couldn't mount '%s' directory: %s", g_startup.mygame_dir,
                            physfs_error_text());
        }
    }
    *base_path_out = base;
}

const char *yes_no(int flag)
{
    return flag ? "yes" : "no";
}

void log_identity(int deployment, const char *base, const char *game_dir)
{
    if (!deployment) {
        log_info("Engine", "Process Working Directory: %s", base);
    }
    struct {
        const char *label;
        const char *cvar;
    } const lines[] = {
        {"Game ID", "game_metadata.gameid"},
        {"Game Title", "game_metadata.gametitle"},
        {"Game Version", "game_metadata.version"},
        {"Game Package ID", "game_metadata.packageid"},
        {"Game Developer ID", "game_metadata.devid"},
        {"Game Developer Title", "game_metadata.devtitle"},
    };
    log_info("Engine", "Game Dir: %s", game_dir);
    for (const auto &line : lines) {
        char *value = cvar_get_string_copy(line.cvar);
        log_info("Engine", "%s: %s", line.label, value);
        SDL_free(value);
    }
    log_info("Engine", "Production Build: %s", yes_no(cvar_game_metadata_deployment));
    log_info("Engine", "Remote Hotload: %s", yes_no(cvar_game_metadata_remote_hotload));
}

// Returns the write directory (owned by PhysicsFS or by base).
const char *set_write_directory(int deployment, const char *base)
{
    const char *dir = base;
    if (deployment) {
        char *org = cvar_get_string_copy("game_metadata.devtitle");
        char *app = cvar_get_string_copy("game_metadata.gametitle");
        dir = PHYSFS_getPrefDir(org ? org : "", app ? app : "");
        SDL_free(org);
        SDL_free(app);
    }
    if (!dir || !PHYSFS_setWriteDir(dir)) {
        startup_failure("Couldn't set write directory: %s", physfs_error_text());
    }
    if (strcmp(dir, base) != 0 && !PHYSFS_mount(dir, nullptr, 0)) {
        startup_failure("Couldn't mount write directory: %s", physfs_error_text());
    }
    PHYSFS_mkdir("logs");
    return dir;
}

void load_controller_mappings(void)
{
    static const char *const files[] = {
        "metadata/engine_controller_mappings.txt",
        "metadata/game_controller_mappings.txt",
        "user_controller_mappings.txt",
    };
    for (const char *file : files) {
        SDL_RWops *rw = PHYSFSRWOPS_openRead(file);
        if (rw) {
            SDL_GameControllerAddMappingsFromRW(rw, 1);
        }
    }
}

void metadata_fatal(const char *message)
{
    startup_failure("%s", message);
}

char *copy_or_empty(const char *text)
{
    char *copy = SDL_strdup(text ? text : "");
    if (!copy) {
        startup_failure("Out of memory!");
    }
    return copy;
}

}  // namespace

void process_install_signal_stack(void)
{
    // One stack per thread, kept for the life of the thread (threads here
    // live as long as the process). A stack that is already there (a
    // sanitizer's own) is kept: replacing it would make its owner free ours.
    stack_t ss;
    SDL_zero(ss);
    if (sigaltstack(nullptr, &ss) == 0 && !(ss.ss_flags & SS_DISABLE)) {
        return;
    }
    SDL_zero(ss);
    ss.ss_size = 64 * 1024;
    ss.ss_sp = malloc(ss.ss_size);
    if (ss.ss_sp) {
        sigaltstack(&ss, nullptr);
    }
}

void process_install_crash_handler(void)
{
    // Resolve backtrace now: its first call may load libgcc, which must never
    // happen inside the handler.
    void *warm[1];
    backtrace(warm, 1);
    process_install_signal_stack();
    struct sigaction sa;
    SDL_zero(sa);
    sa.sa_handler = crash_signal_handler;
    sa.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGSEGV, &sa, nullptr);
}

void ignore_sigpipe(void)
{
    if (SDL_AtomicCAS(&g_sigpipe_ignored, 0, 1)) {
        signal(SIGPIPE, SIG_IGN);
    }
}

void startup_failure(const char *format, ...)
{
    log_emergency_quit();
    char message[256];
    va_list ap;
    va_start(ap, format);
    SDL_vsnprintf(message, sizeof(message), format, ap);
    va_end(ap);
    fprintf(stderr, "\n\n%s:\n%s\n\n", "Startup failure!", message);
    fflush(stderr);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Startup failure!", message, nullptr);
    if (PHYSFS_isInit()) {  // deinit of a file system never started crashes
        PHYSFS_deinit();
    }
    SDL_Quit();
    exit(1);
}

void process_build_argument_line(int argc, char **argv, char *out, size_t out_size)
{
    size_t total = 0, used = 0;
    out[0] = '\0';
    for (int i = 0; i < argc; i++) {
        const size_t len = strlen(argv[i]);
        total += len + (i > 0 ? 1 : 0);
        if (total <= out_size - 2) {
            memcpy(out + used, argv[i], len);
            used += len;
            out[used++] = ' ';
            out[used] = '\0';
        } else {
            SDL_Log("WARNING: ARGV is too long. The following argument will not be sent over: %s.",
                    argv[i]);
        }
    }
}

void process_startup(int argc, char **argv)
{
    process_current_scene = nullptr;
    SDL_AtomicSet(&atomic_is_first_simulation_iteration, 1);
    SDL_AtomicSet(&atomic_last_completed_global_tick_count, -1);
    g_startup = startup_state{};

    if (SDL_Init(0) != 0) {
        startup_failure("SDL_Init(0) failed: %s", SDL_GetError());
    }
    if (!log_init()) {
        startup_failure("Failed to initialize logging: %s", SDL_GetError());
    }
    if (!register_renderer_cvars() || !register_metadata_cvars() ||
        !cvar_register_int("controller.config_ui",
                           "Use the controller config UI? 0==for unknown joysticks, 1==for all "
                           "joysticks, -1==for no joysticks",
                           nullptr, 0)) {
        startup_failure("Failed to register engine cvars: %s", SDL_GetError());
    }
    parse_command_line(argc, argv);

    SDL_SetHint("SDL_IOS_ORIENTATIONS", "LandscapeLeft LandscapeRight");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        startup_failure("SDL_Init(SDL_INIT_VIDEO) failed: %s", SDL_GetError());
    }
    if (!threadstream_init()) {
        startup_failure("Thread initialization failed");
    }
    if (!janitor_init()) {
        startup_failure("Couldn't initialize janitor: %s", SDL_GetError());
    }

    char *base = nullptr;
    mount_file_system(argc, argv, &base);

    config_set_fatal_handler(metadata_fatal);
    load_metadata("metadata/game_metadata.txt");
    normalise_orientation();

    const int production_marker = marker_present("metadata/orvane_production_build");
    const int deployment = g_startup.production_switch || production_marker;
    if (deployment) {
        set_locked_cvar("game_metadata.deployment", "1");
    }
    if (marker_present("metadata/orvane_remote_hotload")) {
        set_locked_cvar("game_metadata.remote_hotload", "1");
    }
    const char *game_dir = g_startup.game_dir_arg ? g_startup.game_dir_arg : g_startup.mygame_dir;
    log_identity(deployment, base, game_dir);

    load_cvars_from_file("metadata/cvars.txt");
    load_cvars_from_file("user_cvars.txt");

    const char *write_dir = set_write_directory(deployment, base);
    if (!log_ready()) {
        startup_failure("Logging startup failed: %s", SDL_GetError());
    }

    load_controller_mappings();
    SDL_SetHint("SDL_ACCELEROMETER_AS_JOYSTICK", "0");
    SDL_Init(SDL_INIT_GAMECONTROLLER);

    process_render_context = render_context_new(!production_marker, 0);
    if (!process_render_context) {
        startup_failure("Couldn't create render context: %s", SDL_GetError());
    }
    if (!audio_init()) {
        startup_failure("Couldn't initialize audio");
    }

    if (deployment) {
        process_saved.game_dir = copy_or_empty(write_dir);
        process_saved.base_dir = copy_or_empty(write_dir);
    } else {
        process_saved.game_dir = copy_or_empty(game_dir ? game_dir : base);
        process_saved.base_dir = copy_or_empty(base);
    }
    process_saved.binary_path = copy_or_empty(argc > 0 ? argv[0] : "");
    process_saved.argument_line = (char *)SDL_malloc(argument_line_size);
    if (!process_saved.argument_line) {
        startup_failure("Out of memory!");
    }
    process_build_argument_line(argc, argv, process_saved.argument_line, argument_line_size);

    // The first scene: drawn before the framework sets its own grid, so it
    // carries a bottom-left grid for the logical canvas.
    process_current_scene = threadstream_allocate();
    if (process_current_scene && !process_current_scene->error) {
        struct render_sizes sizes;
        render_context_get_sizes(process_render_context, &sizes);
        renderstream_pack_scene_header(process_current_scene);
        threadstream_pack_int(process_current_scene, cmd_set_grid);
        threadstream_pack_float(process_current_scene, 0.0f);
        threadstream_pack_float(process_current_scene, (float)sizes.logical_h);
        threadstream_pack_int(process_current_scene, -1);
    }

    if (!interpreter_bootstrap(process_render_context, process_saved.binary_path,
                               process_saved.argument_line, process_saved.game_dir,
                               process_saved.base_dir)) {
        startup_failure("Couldn't start the Ruby interpreter: %s", SDL_GetError());
    }

    if (process_current_scene) {
        if (process_current_scene->error) {
            threadstream_free(process_current_scene);
        } else {
            threadstreamqueue_putitem(process_render_context->scene_queue, process_current_scene);
        }
    }
    process_current_scene = nullptr;

    SDL_free(base);
    SDL_free(g_startup.mygame_dir);
    g_startup.mygame_dir = nullptr;
    g_startup.game_dir_arg = nullptr;

    log_info("Engine", "Janitor is using %d threads.", janitor_thread_count());
}

int process_shutdown(void)
{
    game_quit();
    // FIXME: http_quit() joins here once the HTTP client exists.
    game_quit_bang();
    // Failed tests or an exception that ended an --eval/--test run make the
    // status non-zero; quit! has the last word.
    const int status = game_exit_status();
    audio_quit();
    render_context_delete(process_render_context);
    process_render_context = nullptr;
    // FIXME: httpserver_quit() and closing the four player controllers join
    // here once the HTTP server and controller support exist.
    janitor_quit();
    game_close();
    threadstream_quit();
    cvar_quit();
    log_quit();
    SDL_Quit();
    PHYSFS_deinit();
    return status;
}
