// Packing script values into thread streams: numbers are coerced, never
// validated, and Strings are copied by their byte length.
// Thread: the thread that owns the interpreter and the stream being packed.
// Ownership: nothing is kept; the stream copies every byte it is given.
// None of these call back into the interpreter, so none of them can raise.
#pragma once

#include <mruby.h>

#include "stream/stream.h"

// Int from a script value: an Integer keeps its low 32 bits, a Float is
// truncated toward zero and saturates at the int32 limits (NaN gives 0). Every
// other value (nil, true, false, Symbol, String, any object) gives the default.
int32_t threadstream_ruby_to_int(mrb_value value, int32_t fallback);

// Float from a script value: Integer and Float are rounded to single precision;
// every other value gives the default.
float threadstream_ruby_to_float(mrb_value value, float fallback);

// Int coerced from value, 0 when it does not coerce.
int threadstream_pack_ruby_int(struct threadstream *stream, mrb_value value);

// Int coerced from value, fallback when it does not coerce.
int threadstream_pack_ruby_int_or_default(struct threadstream *stream, mrb_value value,
                                          int32_t fallback);

// Float coerced from value, 0.0 when it does not coerce.
int threadstream_pack_ruby_float(struct threadstream *stream, mrb_value value);

// Float coerced from value, fallback when it does not coerce.
int threadstream_pack_ruby_float_or_default(struct threadstream *stream, mrb_value value,
                                            float fallback);

// A String's bytes (its byte length, embedded 0 bytes included); any other value
// writes the absent marker.
int threadstream_pack_ruby_string(struct threadstream *stream, mrb_value string);

// A String's bytes, or the bytes of default_text when the value is not a String
// (the absent marker when default_text is null too).
int threadstream_pack_ruby_string_or_default(struct threadstream *stream, mrb_value string,
                                             const char *default_text);
