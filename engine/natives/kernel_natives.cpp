// Kernel#sleep and Kernel#usleep, which the interpreter build does not carry.
// They block the calling (simulation) thread, as the game asked.
#include "natives/natives_internal.h"

#include <SDL.h>
#include <math.h>
#include <mruby/numeric.h>

namespace
{

// Seconds (Integer or Float, negative refused) to whole milliseconds.
uint32_t seconds_to_ms(mrb_state *mrb, mrb_value seconds)
{
    double s;
    if (mrb_integer_p(seconds)) {
        s = (double)mrb_integer(seconds);
    } else if (mrb_float_p(seconds)) {
        s = (double)mrb_float(seconds);
    } else {
        mrb_raise(mrb, E_TYPE_ERROR, "sleep expects a number of seconds");
        return 0;
    }
    if (!(s >= 0.0)) {
        mrb_raise(mrb, E_ARGUMENT_ERROR, "time interval must not be negative");
    }
    const double ms = s * 1000.0;
    return ms >= 4294967295.0 ? 4294967295u : (uint32_t)ms;
}

mrb_value kernel_m_sleep(mrb_state *mrb, mrb_value self)
{
    mrb_value seconds;
    mrb_get_args(mrb, "o", &seconds);
    const uint32_t started = SDL_GetTicks();
    SDL_Delay(seconds_to_ms(mrb, seconds));
    return mrb_int_value(mrb, (mrb_int)lround((SDL_GetTicks() - started) / 1000.0));
}

mrb_value kernel_m_usleep(mrb_state *mrb, mrb_value self)
{
    mrb_int usec;
    mrb_get_args(mrb, "i", &usec);
    if (usec < 0) {
        mrb_raise(mrb, E_ARGUMENT_ERROR, "time interval must not be negative");
    }
    const uint64_t started = SDL_GetPerformanceCounter();
    const uint64_t freq = SDL_GetPerformanceFrequency();
    const uint64_t wait = (uint64_t)usec * freq / 1000000u;
    // Whole milliseconds sleep; the rest of the interval is waited out.
    if (usec >= 1000) {
        SDL_Delay((uint32_t)(usec / 1000));
    }
    while (SDL_GetPerformanceCounter() - started < wait) {
    }
    return mrb_int_value(mrb, usec);
}

} // namespace

void kernel_natives_define(mrb_state *mrb)
{
    mrb_define_method(mrb, mrb->kernel_module, "sleep", kernel_m_sleep, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, mrb->kernel_module, "usleep", kernel_m_usleep, MRB_ARGS_REQ(1));
}
