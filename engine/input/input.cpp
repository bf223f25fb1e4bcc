// Pointer conversion and the touch list.
#include "input/input.h"

#include "render/render.h"

void input_state_reset(struct input_state *state)
{
    struct input_touch *t = state->touches;
    while (t) {
        struct input_touch *next = t->next;
        SDL_free(t);
        t = next;
    }
    SDL_atomic_t *activation_at = state->a11y_activation_at;
    SDL_zerop(state);
    state->a11y_activation_at = activation_at;
}

void input_convert_mouse(struct render_context *ctx, int32_t ex, int32_t ey, int32_t *x,
                         int32_t *y)
{
    struct render_sizes sizes;
    render_context_get_sizes(ctx, &sizes);
    const float s = sizes.render_scale > 0.0f ? sizes.render_scale : 1.0f;
    *x = (int32_t)((float)ex / s - (float)sizes.offset_x / s);
    *y = (int32_t)((float)ey / s - (float)sizes.offset_y / s + 1.0f);
}

void input_convert_touch(struct render_context *ctx, float nx, float ny, int32_t *x, int32_t *y)
{
    struct render_sizes sizes;
    render_context_get_sizes(ctx, &sizes);
    const float s = sizes.render_scale > 0.0f ? sizes.render_scale : 1.0f;
    *x = (int32_t)(nx * (float)sizes.output_w / s - (float)sizes.offset_x / s);
    *y = (int32_t)(ny * (float)sizes.output_h / s - (float)sizes.offset_y / s);
}
