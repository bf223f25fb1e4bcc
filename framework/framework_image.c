// The generated image plus its size, which the array's own header only claims.
#include "framework_image.h"

#include "main_ruby.c"

const uint32_t main_ruby_size = (uint32_t)sizeof(main_ruby);
