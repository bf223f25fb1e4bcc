// Event translation: the raw records handed to raw_event and the typed calls,
// checked in a real interpreter. The runtime object is replaced by a recorder
// of the calls the translation makes.
#include <gtest/gtest.h>

#include <mruby.h>
#include <mruby/array.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <string>
#include <vector>

#include "input/input_natives.h"
#include "render/render.h"

namespace {

mrb_state *g_mrb;
std::vector<std::string> g_calls;

// Records "name(arg, arg, ...)" with each argument's inspect text.
mrb_value record_call(mrb_sym name, mrb_int argc, const mrb_value *argv)
{
    std::string text = mrb_sym_name(g_mrb, name);
    text += "(";
    for (mrb_int i = 0; i < argc; i++) {
        mrb_value s = mrb_inspect(g_mrb, argv[i]);
        text += (i ? ", " : "") + std::string(RSTRING_PTR(s), RSTRING_LEN(s));
    }
    g_calls.push_back(text + ")");
    return mrb_nil_value();
}

class EventsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        g_mrb = mrb_open();
        ASSERT_NE(g_mrb, nullptr);
        events_init(g_mrb);
        g_calls.clear();
        SDL_zero(ctx);
        ctx.window_id = 7;
        ctx.event_types[0] = SDL_USEREVENT + 1;
        ctx.sizes.render_scale = 1.0f;
        ctx.sizes.output_w = 1280;
        ctx.sizes.output_h = 720;
        SDL_zero(input);
        input.a11y_activation_at = &activation_at;
        SDL_AtomicSet(&activation_at, 0);
    }
    void TearDown() override
    {
        input_state_reset(&input);
        mrb_close(g_mrb);
    }
    void deliver(const SDL_Event &ev)
    {
        events_process_raw(g_mrb, &ctx, &input, &ev, record_call);
        events_dispatch(g_mrb, &ctx, &input, &ev, record_call);
    }
    std::vector<std::string> typed_calls() const
    {
        std::vector<std::string> out;
        for (const auto &c : g_calls) {
            if (c.rfind("raw_event(", 0) != 0) {
                out.push_back(c);
            }
        }
        return out;
    }

    struct render_context ctx;
    struct input_state input;
    SDL_atomic_t activation_at;
};

SDL_Event key_event(Uint32 type, SDL_Keycode sym, SDL_Scancode code, Uint16 mod, Uint8 repeat)
{
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = type;
    ev.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    ev.key.repeat = repeat;
    ev.key.keysym.sym = sym;
    ev.key.keysym.scancode = code;
    ev.key.keysym.mod = mod;
    return ev;
}

TEST_F(EventsTest, KeysGiveARecordAndKeyThenScancodeCalls)
{
    deliver(key_event(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, KMOD_LSHIFT, 1));
    deliver(key_event(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A, 0, 0));
    const std::vector<std::string> expected = {
        "raw_event({:type_enum=>768, :type=>:key_down, :state=>1, :repeat=>1, "
        ":keysym=>{:scancode=>4, :sym=>97, :mod=>1}})",
        "key_down_raw(97, 1)",
        "scancode_down_raw(4, 1)",
        "raw_event({:type_enum=>769, :type=>:key_up, :state=>0, :repeat=>0, "
        ":keysym=>{:scancode=>4, :sym=>97, :mod=>0}})",
        "key_up_raw(97, 0)",
        "scancode_up_raw(4, 0)",
    };
    EXPECT_EQ(g_calls, expected);
}

TEST_F(EventsTest, MouseIsConvertedAndTouchSynthesisedMouseGetsNoTypedCall)
{
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_MOUSEMOTION;
    ev.motion.x = 0;
    ev.motion.y = 0;
    ev.motion.xrel = 3;
    ev.motion.yrel = -2;
    deliver(ev);
    EXPECT_EQ(typed_calls(), std::vector<std::string>{"mouse_move_relative(0, 1, 3, -2)"});

    // HD: scale 1.5 and a canvas 40 pixels in from the left.
    ctx.sizes.render_scale = 1.5f;
    ctx.sizes.offset_x = 40;
    ev.motion.x = 340;
    ev.motion.y = 150;
    g_calls.clear();
    deliver(ev);
    EXPECT_EQ(typed_calls(), std::vector<std::string>{"mouse_move_relative(200, 101, 3, -2)"});
    EXPECT_EQ(input.mouse_x, 200);
    EXPECT_EQ(input.relative_y, -2);

    g_calls.clear();
    SDL_zero(ev);
    ev.type = SDL_MOUSEBUTTONDOWN;
    ev.button.which = SDL_TOUCH_MOUSEID;
    ev.button.button = 1;
    deliver(ev);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].rfind("raw_event({:type_enum=>1025, :type=>:mouse_button", 0), 0u)
        << g_calls[0];
}

TEST_F(EventsTest, WheelRecordHasIntegerPreciseValues)
{
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_MOUSEWHEEL;
    ev.wheel.y = -1;
    deliver(ev);
    const std::vector<std::string> expected = {
        "raw_event({:type_enum=>1027, :type=>:mouse_wheel, :which=>0, :x=>0, :y=>-1, "
        ":direction=>0, :precise_x=>0.0, :precise_y=>-1.0})",
        "mouse_wheel(0, -1, false)",
    };
    EXPECT_EQ(g_calls, expected);
}

TEST_F(EventsTest, FingersGetEngineIdsAndUnknownFingersCallNothing)
{
    SDL_Event ev;
    SDL_zero(ev);
    ev.tfinger.touchId = 5;
    ev.tfinger.x = 0.5f;
    ev.tfinger.y = 0.25f;
    for (SDL_FingerID finger : {11, 12}) {
        ev.type = SDL_FINGERDOWN;
        ev.tfinger.fingerId = finger;
        deliver(ev);
    }
    ev.type = SDL_FINGERUP;
    ev.tfinger.fingerId = 11;
    deliver(ev);
    ev.tfinger.fingerId = 99;  // never seen going down
    deliver(ev);
    ev.type = SDL_FINGERDOWN;
    ev.tfinger.touchId = SDL_MOUSE_TOUCHID;  // synthesised from the mouse
    deliver(ev);
    const std::vector<std::string> expected = {
        "finger_down(1, 640, 180)",
        "finger_down(2, 640, 180)",
        "finger_up(1)",
    };
    EXPECT_EQ(typed_calls(), expected);
    ASSERT_NE(input.touches, nullptr);
    EXPECT_EQ(input.touches->id, 2);
    EXPECT_EQ(input.touches->next, nullptr);
}

TEST_F(EventsTest, OnlyTheEngineWindowChangesFocus)
{
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_WINDOWEVENT;
    ev.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    ev.window.windowID = 8;
    input.keyboard_focus = 1;
    deliver(ev);
    EXPECT_TRUE(typed_calls().empty());
    EXPECT_EQ(input.keyboard_focus, 1);
    ev.window.windowID = 7;
    deliver(ev);
    EXPECT_EQ(typed_calls(), std::vector<std::string>{"window_keyboard_focus_changed(false)"});
    EXPECT_EQ(input.keyboard_focus, 0);
}

TEST_F(EventsTest, RecordsOfEventsWithoutTypedCalls)
{
    struct row {
        SDL_Event ev;
        const char *record;
    };
    SDL_Event drop;
    SDL_zero(drop);
    drop.type = SDL_DROPFILE;
    SDL_Event text;
    SDL_zero(text);
    text.type = SDL_TEXTEDITING;
    SDL_strlcpy(text.edit.text, "ab", sizeof(text.edit.text));
    text.edit.start = 1;
    text.edit.length = 2;
    SDL_Event reset;
    SDL_zero(reset);
    reset.type = SDL_RENDER_TARGETS_RESET;
    SDL_Event user;
    SDL_zero(user);
    user.type = SDL_USEREVENT;
    const row rows[] = {
        {drop, "raw_event({:type_enum=>4096, :type=>:drop_file, :file=>\"\"})"},
        {text, "raw_event({:type_enum=>770, :type=>:text_editing, :text=>\"ab\", :start=>1, "
               ":length=>2})"},
        {reset, "raw_event({:type_enum=>8192, :type=>:render_targets_reset})"},
        {user, "raw_event({:type_enum=>32768, :type=>:unknown})"},
    };
    for (const row &r : rows) {
        g_calls.clear();
        deliver(r.ev);
        EXPECT_EQ(g_calls, std::vector<std::string>{r.record});
    }
}

TEST_F(EventsTest, AccessibilityActivationBecomesItsOwnRecordOnce)
{
    static char id[] = "button-1";
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_USEREVENT + 1;
    ev.user.code = (Sint32)ctx.event_types[0];
    ev.user.data1 = id;
    SDL_AtomicSet(&activation_at, 42);
    deliver(ev);
    deliver(ev);
    const std::vector<std::string> expected = {
        "raw_event({:type_enum=>32769, :type=>:a11y_activation_event, "
        ":activated_id=>\"button-1\", :activated_global_at=>42})",
        "raw_event({:type_enum=>32769, :type=>:unknown})",
    };
    EXPECT_EQ(g_calls, expected);
}

TEST_F(EventsTest, QuitSetsTheFlagOnly)
{
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_QUIT;
    deliver(ev);
    EXPECT_EQ(input.quit, 1);
    EXPECT_TRUE(typed_calls().empty());
}

}  // namespace
