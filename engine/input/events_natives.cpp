// Raw event records and typed calls for each platform event of a batch.
#include "input/input_natives.h"

#include "render/render.h"

#include <mruby/hash.h>
#include <mruby/string.h>
#include <initializer_list>
#include <string.h>

namespace {

// Record keys, type names and method names, interned once per interpreter.
struct event_symbols {
    mrb_sym type_enum, type, state, repeat, keysym, scancode, sym, mod, text, start, length,
        which, x, y, xrel, yrel, clicks, button, direction, precise_x, precise_y, file,
        activated_id, activated_global_at;
    mrb_sym t_key_down, t_key_up, t_text_editing, t_text_input, t_mouse_motion, t_mouse_button,
        t_mouse_wheel, t_joypad_button, t_controller_button, t_drop_file, t_drop_text,
        t_render_targets_reset, t_render_device_reset, t_a11y_activation_event, t_user_event,
        t_unknown;
    mrb_sym raw_event, key_down_raw, key_up_raw, scancode_down_raw, scancode_up_raw, textinput,
        mouse_move_relative, mouse_button_pressed, mouse_button_up, mouse_wheel, finger_down,
        finger_move, finger_up, window_mouse_focus_changed, window_keyboard_focus_changed,
        left_controller_position, right_controller_position, headset_position;
};

event_symbols g_sym;

// Mouse events synthesised from touches carry this id, and touches
// synthesised from the mouse this device.
constexpr Uint32 touch_mouse_id = SDL_TOUCH_MOUSEID;
constexpr SDL_TouchID mouse_touch_id = SDL_MOUSE_TOUCHID;

void put(mrb_state *mrb, mrb_value h, mrb_sym key, mrb_value v)
{
    mrb_hash_set(mrb, h, mrb_symbol_value(key), v);
}

void put_int(mrb_state *mrb, mrb_value h, mrb_sym key, int64_t v)
{
    put(mrb, h, key, mrb_int_value(mrb, (mrb_int)v));
}

// Text of at most n bytes from a fixed platform buffer, which need not be
// terminated when full.
mrb_value fixed_text(mrb_state *mrb, const char *text, size_t n)
{
    return mrb_str_new(mrb, text, strnlen(text, n));
}

void key_record(mrb_state *mrb, mrb_value h, const SDL_KeyboardEvent &k)
{
    put_int(mrb, h, g_sym.state, k.state);
    put_int(mrb, h, g_sym.repeat, k.repeat);
    mrb_value keysym = mrb_hash_new_capa(mrb, 3);
    put_int(mrb, keysym, g_sym.scancode, k.keysym.scancode);
    put_int(mrb, keysym, g_sym.sym, k.keysym.sym);
    put_int(mrb, keysym, g_sym.mod, k.keysym.mod);
    put(mrb, h, g_sym.keysym, keysym);
}

mrb_sym user_event_type(mrb_state *mrb, mrb_value h, struct render_context *ctx,
                        SDL_atomic_t *activation_at, const SDL_UserEvent &u)
{
    const int at = activation_at ? SDL_AtomicGet(activation_at) : 0;
    const char *id = (const char *)u.data1;
    if (at != 0 && ctx && (Uint32)u.code == ctx->event_types[0] && id && *id) {
        put(mrb, h, g_sym.activated_id, mrb_str_new_cstr(mrb, id));
        put_int(mrb, h, g_sym.activated_global_at, at);
        SDL_AtomicSet(activation_at, 0);
        return g_sym.t_a11y_activation_event;
    }
    return g_sym.t_unknown;
}

void call(input_call_fn fn, mrb_sym name, std::initializer_list<mrb_value> args)
{
    fn(name, (mrb_int)args.size(), args.begin());
}

struct input_touch *find_touch(struct input_state *state, const SDL_TouchFingerEvent &f)
{
    for (struct input_touch *t = state->touches; t; t = t->next) {
        if (t->device == f.touchId && t->finger == f.fingerId) {
            return t;
        }
    }
    return nullptr;
}

}  // namespace

void events_init(mrb_state *mrb)
{
#define SYM(field, name) g_sym.field = mrb_intern_lit(mrb, name)
    SYM(type_enum, "type_enum"); SYM(type, "type"); SYM(state, "state"); SYM(repeat, "repeat");
    SYM(keysym, "keysym"); SYM(scancode, "scancode"); SYM(sym, "sym"); SYM(mod, "mod");
    SYM(text, "text"); SYM(start, "start"); SYM(length, "length"); SYM(which, "which");
    SYM(x, "x"); SYM(y, "y"); SYM(xrel, "xrel"); SYM(yrel, "yrel"); SYM(clicks, "clicks");
    SYM(button, "button"); SYM(direction, "direction"); SYM(precise_x, "precise_x");
    SYM(precise_y, "precise_y"); SYM(file, "file"); SYM(activated_id, "activated_id");
    SYM(activated_global_at, "activated_global_at");
    SYM(t_key_down, "key_down"); SYM(t_key_up, "key_up"); SYM(t_text_editing, "text_editing");
    SYM(t_text_input, "text_input"); SYM(t_mouse_motion, "mouse_motion");
    SYM(t_mouse_button, "mouse_button"); SYM(t_mouse_wheel, "mouse_wheel");
    SYM(t_joypad_button, "joypad_button"); SYM(t_controller_button, "controller_button");
    SYM(t_drop_file, "drop_file"); SYM(t_drop_text, "drop_text");
    SYM(t_render_targets_reset, "render_targets_reset");
    SYM(t_render_device_reset, "render_device_reset");
    SYM(t_a11y_activation_event, "a11y_activation_event"); SYM(t_user_event, "user_event");
    SYM(t_unknown, "unknown");
    SYM(raw_event, "raw_event"); SYM(key_down_raw, "key_down_raw");
    SYM(key_up_raw, "key_up_raw"); SYM(scancode_down_raw, "scancode_down_raw");
    SYM(scancode_up_raw, "scancode_up_raw"); SYM(textinput, "textinput");
    SYM(mouse_move_relative, "mouse_move_relative");
    SYM(mouse_button_pressed, "mouse_button_pressed"); SYM(mouse_button_up, "mouse_button_up");
    SYM(mouse_wheel, "mouse_wheel"); SYM(finger_down, "finger_down");
    SYM(finger_move, "finger_move"); SYM(finger_up, "finger_up");
    SYM(window_mouse_focus_changed, "window_mouse_focus_changed");
    SYM(window_keyboard_focus_changed, "window_keyboard_focus_changed");
    SYM(left_controller_position, "left_controller_position");
    SYM(right_controller_position, "right_controller_position");
    SYM(headset_position, "headset_position");
#undef SYM
}

mrb_value events_process_raw(mrb_state *mrb, struct render_context *ctx,
                             struct input_state *state, const SDL_Event *ev, input_call_fn fn)
{
    mrb_value h = mrb_hash_new_capa(mrb, 8);
    put_int(mrb, h, g_sym.type_enum, ev->type);
    // The type goes second; its value is known only once the record is read,
    // so a placeholder keeps the insertion order.
    put(mrb, h, g_sym.type, mrb_nil_value());
    mrb_sym type = g_sym.t_unknown;
    switch (ev->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        type = ev->type == SDL_KEYDOWN ? g_sym.t_key_down : g_sym.t_key_up;
        key_record(mrb, h, ev->key);
        break;
    case SDL_TEXTEDITING:
        type = g_sym.t_text_editing;
        put(mrb, h, g_sym.text, fixed_text(mrb, ev->edit.text, sizeof(ev->edit.text)));
        put_int(mrb, h, g_sym.start, ev->edit.start);
        put_int(mrb, h, g_sym.length, ev->edit.length);
        break;
    case SDL_TEXTINPUT:
        type = g_sym.t_text_input;
        put(mrb, h, g_sym.text, fixed_text(mrb, ev->text.text, sizeof(ev->text.text)));
        break;
    case SDL_MOUSEMOTION:
        type = g_sym.t_mouse_motion;
        put_int(mrb, h, g_sym.which, ev->motion.which);
        put_int(mrb, h, g_sym.x, ev->motion.x);
        put_int(mrb, h, g_sym.y, ev->motion.y);
        put_int(mrb, h, g_sym.xrel, ev->motion.xrel);
        put_int(mrb, h, g_sym.yrel, ev->motion.yrel);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        type = g_sym.t_mouse_button;
        put_int(mrb, h, g_sym.x, ev->button.x);
        put_int(mrb, h, g_sym.y, ev->button.y);
        put_int(mrb, h, g_sym.clicks, ev->button.clicks);
        put_int(mrb, h, g_sym.state, ev->button.state);
        put_int(mrb, h, g_sym.which, ev->button.which);
        put_int(mrb, h, g_sym.button, ev->button.button);
        break;
    case SDL_MOUSEWHEEL:
        type = g_sym.t_mouse_wheel;
        put_int(mrb, h, g_sym.which, ev->wheel.which);
        put_int(mrb, h, g_sym.x, ev->wheel.x);
        put_int(mrb, h, g_sym.y, ev->wheel.y);
        put_int(mrb, h, g_sym.direction, ev->wheel.direction);
        put(mrb, h, g_sym.precise_x, mrb_float_value(mrb, (mrb_float)ev->wheel.x));
        put(mrb, h, g_sym.precise_y, mrb_float_value(mrb, (mrb_float)ev->wheel.y));
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        type = g_sym.t_joypad_button;
        put_int(mrb, h, g_sym.which, ev->jbutton.which);
        put_int(mrb, h, g_sym.button, ev->jbutton.button);
        put_int(mrb, h, g_sym.state, ev->jbutton.state);
        break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        type = g_sym.t_controller_button;
        put_int(mrb, h, g_sym.which, ev->cbutton.which);
        put_int(mrb, h, g_sym.button, ev->cbutton.button);
        put_int(mrb, h, g_sym.state, ev->cbutton.state);
        break;
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
        type = ev->type == SDL_DROPFILE ? g_sym.t_drop_file : g_sym.t_drop_text;
        put(mrb, h, g_sym.file, mrb_str_new_cstr(mrb, ev->drop.file ? ev->drop.file : ""));
        break;
    case SDL_RENDER_TARGETS_RESET:
        type = g_sym.t_render_targets_reset;
        break;
    case SDL_RENDER_DEVICE_RESET:
        type = g_sym.t_render_device_reset;
        break;
    default:
        if (ev->type >= SDL_USEREVENT && ev->type <= SDL_LASTEVENT) {
            type = user_event_type(mrb, h, ctx, state->a11y_activation_at, ev->user);
        }
        break;
    }
    put(mrb, h, g_sym.type, mrb_symbol_value(type));
    return fn(g_sym.raw_event, 1, &h);
}

void events_dispatch(mrb_state *mrb, struct render_context *ctx, struct input_state *state,
                     const SDL_Event *ev, input_call_fn fn)
{
    switch (ev->type) {
    case SDL_QUIT:
        state->quit = 1;
        break;
    case SDL_WINDOWEVENT: {
        if (!ctx || ev->window.windowID != ctx->window_id) {
            break;
        }
        switch (ev->window.event) {
        case SDL_WINDOWEVENT_ENTER:
        case SDL_WINDOWEVENT_LEAVE:
            state->mouse_focus = ev->window.event == SDL_WINDOWEVENT_ENTER;
            call(fn, g_sym.window_mouse_focus_changed, {mrb_bool_value(state->mouse_focus)});
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST:
            state->keyboard_focus = ev->window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
            call(fn, g_sym.window_keyboard_focus_changed,
                 {mrb_bool_value(state->keyboard_focus)});
            break;
        default:
            break;
        }
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const int down = ev->type == SDL_KEYDOWN;
        const mrb_value mod = mrb_int_value(mrb, ev->key.keysym.mod);
        call(fn, down ? g_sym.key_down_raw : g_sym.key_up_raw,
             {mrb_int_value(mrb, ev->key.keysym.sym), mod});
        call(fn, down ? g_sym.scancode_down_raw : g_sym.scancode_up_raw,
             {mrb_int_value(mrb, ev->key.keysym.scancode), mod});
        break;
    }
    case SDL_TEXTINPUT:
        call(fn, g_sym.textinput, {fixed_text(mrb, ev->text.text, sizeof(ev->text.text))});
        break;
    case SDL_MOUSEMOTION:
        if (ev->motion.which != touch_mouse_id) {
            input_convert_mouse(ctx, ev->motion.x, ev->motion.y, &state->mouse_x,
                                &state->mouse_y);
            state->relative_x = ev->motion.xrel;
            state->relative_y = ev->motion.yrel;
            call(fn, g_sym.mouse_move_relative,
                 {mrb_int_value(mrb, state->mouse_x), mrb_int_value(mrb, state->mouse_y),
                  mrb_int_value(mrb, ev->motion.xrel), mrb_int_value(mrb, ev->motion.yrel)});
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (ev->button.which != touch_mouse_id) {
            call(fn, ev->type == SDL_MOUSEBUTTONDOWN ? g_sym.mouse_button_pressed
                                                     : g_sym.mouse_button_up,
                 {mrb_int_value(mrb, ev->button.button)});
        }
        break;
    case SDL_MOUSEWHEEL:
        if (ev->wheel.which != touch_mouse_id) {
            call(fn, g_sym.mouse_wheel,
                 {mrb_int_value(mrb, ev->wheel.x), mrb_int_value(mrb, ev->wheel.y),
                  mrb_bool_value(ev->wheel.direction == SDL_MOUSEWHEEL_FLIPPED)});
        }
        break;
    case SDL_FINGERDOWN: {
        if (ev->tfinger.touchId == mouse_touch_id) {
            break;
        }
        struct input_touch *t = (struct input_touch *)SDL_calloc(1, sizeof(*t));
        if (!t) {
            break;  // the finger is ignored, with its later motion and lift
        }
        t->device = ev->tfinger.touchId;
        t->finger = ev->tfinger.fingerId;
        t->id = state->touch_counter < 0 ? 1 : state->touch_counter + 1;
        state->touch_counter = t->id;
        t->next = state->touches;
        if (t->next) {
            t->next->prev = t;
        }
        state->touches = t;
        int32_t x, y;
        input_convert_touch(ctx, ev->tfinger.x, ev->tfinger.y, &x, &y);
        call(fn, g_sym.finger_down,
             {mrb_int_value(mrb, t->id), mrb_int_value(mrb, x), mrb_int_value(mrb, y)});
        break;
    }
    case SDL_FINGERMOTION: {
        if (ev->tfinger.touchId == mouse_touch_id) {
            break;
        }
        struct input_touch *t = find_touch(state, ev->tfinger);
        if (t) {
            int32_t x, y;
            input_convert_touch(ctx, ev->tfinger.x, ev->tfinger.y, &x, &y);
            call(fn, g_sym.finger_move,
                 {mrb_int_value(mrb, t->id), mrb_int_value(mrb, x), mrb_int_value(mrb, y)});
        }
        break;
    }
    case SDL_FINGERUP: {
        if (ev->tfinger.touchId == mouse_touch_id) {
            break;
        }
        struct input_touch *t = find_touch(state, ev->tfinger);
        if (t) {
            call(fn, g_sym.finger_up, {mrb_int_value(mrb, t->id)});
            if (t->prev) {
                t->prev->next = t->next;
            } else {
                state->touches = t->next;
            }
            if (t->next) {
                t->next->prev = t->prev;
            }
            SDL_free(t);
        }
        break;
    }
    default:
        // FIXME: joystick and controller events get their calls with
        // controller support; everything else is a raw record only.
        break;
    }
}

void events_report_vr_positions(mrb_state *mrb, input_call_fn fn)
{
    const mrb_value z = mrb_float_value(mrb, 0.0);
    const mrb_value zeros[6] = {z, z, z, z, z, z};
    fn(g_sym.left_controller_position, 6, zeros);
    fn(g_sym.right_controller_position, 6, zeros);
    fn(g_sym.headset_position, 6, zeros);
}
