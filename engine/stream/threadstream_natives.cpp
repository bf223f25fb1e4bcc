// Coercion of script values into stream items. mrb_int is 64 bits on the build
// machine and 32 bits on the target; both keep only the low 32 bits.
#include "stream/stream_ruby.h"

#include <math.h>
#include <mruby/string.h>

int32_t threadstream_ruby_to_int(mrb_value value, int32_t fallback)
{
    if (mrb_integer_p(value)) {
        // Wrap through the unsigned type: converting an out-of-range value to a
        // signed type is implementation-defined, to an unsigned one it is not.
        uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(mrb_integer(value)));
        return static_cast<int32_t>(low);
    }
    if (mrb_float_p(value)) {
        double d = mrb_float(value);
        if (isnan(d)) {
            return 0;
        }
        if (d >= 2147483647.0) {
            return INT32_MAX;
        }
        if (d <= -2147483648.0) {
            return INT32_MIN;
        }
        return static_cast<int32_t>(d); // truncates toward zero
    }
    return fallback;
}

float threadstream_ruby_to_float(mrb_value value, float fallback)
{
    if (mrb_integer_p(value)) {
        return static_cast<float>(mrb_integer(value));
    }
    if (mrb_float_p(value)) {
        return static_cast<float>(mrb_float(value));
    }
    return fallback;
}

int threadstream_pack_ruby_int(threadstream *stream, mrb_value value)
{
    return threadstream_pack_int(stream, threadstream_ruby_to_int(value, 0));
}

int threadstream_pack_ruby_int_or_default(threadstream *stream, mrb_value value, int32_t fallback)
{
    return threadstream_pack_int(stream, threadstream_ruby_to_int(value, fallback));
}

int threadstream_pack_ruby_float(threadstream *stream, mrb_value value)
{
    return threadstream_pack_float(stream, threadstream_ruby_to_float(value, 0.0f));
}

int threadstream_pack_ruby_float_or_default(threadstream *stream, mrb_value value, float fallback)
{
    return threadstream_pack_float(stream, threadstream_ruby_to_float(value, fallback));
}

int threadstream_pack_ruby_string(threadstream *stream, mrb_value string)
{
    if (!mrb_string_p(string)) {
        return threadstream_pack_buffer(stream, nullptr, 0);
    }
    return threadstream_pack_buffer(stream, RSTRING_PTR(string),
                                    static_cast<size_t>(RSTRING_LEN(string)));
}

int threadstream_pack_ruby_string_or_default(threadstream *stream, mrb_value string,
                                             const char *default_text)
{
    if (!mrb_string_p(string)) {
        return threadstream_pack_string(stream, default_text);
    }
    return threadstream_pack_buffer(stream, RSTRING_PTR(string),
                                    static_cast<size_t>(RSTRING_LEN(string)));
}
