// The engine's Ruby framework as a bytecode image in the linked interpreter's
// own format, generated at build time from framework/vantor/.
// Thread: read-only data, any thread.
// Ownership: static storage; never freed.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

extern const uint8_t main_ruby[];
// Size in bytes of main_ruby.
extern const uint32_t main_ruby_size;

#ifdef __cplusplus
}
#endif
