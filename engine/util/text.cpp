// Formatted heap strings, the UTF-8 decoder and the clock helpers.
#include "util/util.h"

#include <time.h>

char *vsprintf_alloc(const char *format, va_list args)
{
    if (!format) {
        return NULL;
    }
    va_list measure;
    va_copy(measure, args);
    const int needed = SDL_vsnprintf(NULL, 0, format, measure);
    va_end(measure);
    if (needed < 0) {
        return NULL;
    }
    char *text = (char *)SDL_malloc((size_t)needed + 1);
    if (!text) {
        return NULL;
    }
    // A %s argument changed by another thread between the passes shows up as
    // a different length; hand back nothing rather than a cut text.
    const int written = SDL_vsnprintf(text, (size_t)needed + 1, format, args);
    if (written != needed) {
        SDL_free(text);
        return NULL;
    }
    return text;
}

char *sprintf_alloc(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    char *text = vsprintf_alloc(format, args);
    va_end(args);
    return text;
}

char *generate_unique_emscripten_folder_name(const char *first, const char *second)
{
    return sprintf_alloc("%s-%s", first, second);
}

uint32_t utf8codepoint(const char **cursor)
{
    const unsigned char *s = (const unsigned char *)*cursor;
    const unsigned char b0 = s[0];
    if (b0 == 0) {
        return 0;
    }
    if (b0 < 0x80) {
        *cursor += 1;
        return b0;
    }
    if (b0 < 0xC0) { // continuation byte without a lead byte
        *cursor += 1;
        return UTF8_BAD_CODEPOINT;
    }

    int count;
    uint32_t cp;
    if (b0 < 0xE0) {
        count = 2;
        cp = b0 & 0x1F;
    } else if (b0 < 0xF0) {
        count = 3;
        cp = b0 & 0x0F;
    } else if (b0 < 0xF8) {
        count = 4;
        cp = b0 & 0x07;
    } else if (b0 < 0xFC) {
        count = 5;
        cp = b0 & 0x03;
    } else {
        count = 6;
        cp = b0 & 0x01;
    }

    for (int i = 1; i < count; i++) {
        // Stops at the terminator too, since NUL is not a continuation byte.
        if ((s[i] & 0xC0) != 0x80) {
            *cursor += 1;
            return UTF8_BAD_CODEPOINT;
        }
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    *cursor += count;

    switch (count) {
    case 2:
        return (cp >= 0x80 && cp <= 0x7FF) ? cp : UTF8_BAD_CODEPOINT;
    case 3:
        if (cp < 0x800 || cp > 0xFFFD) {
            return UTF8_BAD_CODEPOINT;
        }
        // Only these surrogate values are refused; the rest of the range
        // passes through unchanged, as the engine has always decoded it.
        switch (cp) {
        case 0xD800:
        case 0xDB7F:
        case 0xDB80:
        case 0xDBFF:
        case 0xDC00:
        case 0xDF80:
        case 0xDFFF:
            return UTF8_BAD_CODEPOINT;
        default:
            return cp;
        }
    case 4:
        return (cp >= 0x10000 && cp <= 0x10FFFF) ? cp : UTF8_BAD_CODEPOINT;
    default: // five- and six-byte forms are not Unicode
        return UTF8_BAD_CODEPOINT;
    }
}

int64_t current_timestamp(void)
{
    return (int64_t)time(NULL);
}

void current_datetime(int *year, int *month, int *day, int *hour, int *minute, int *second)
{
    const time_t now = time(NULL);
    struct tm local;
    SDL_zero(local);
    // localtime_r: any thread may ask, and localtime's static record is shared.
    if (!localtime_r(&now, &local)) {
        SDL_zero(local);
        local.tm_year = 70;
        local.tm_mday = 1;
    }
    if (year) {
        *year = local.tm_year + 1900;
    }
    if (month) {
        *month = local.tm_mon + 1;
    }
    if (day) {
        *day = local.tm_mday;
    }
    if (hour) {
        *hour = local.tm_hour;
    }
    if (minute) {
        *minute = local.tm_min;
    }
    if (second) {
        *second = local.tm_sec > 59 ? 59 : local.tm_sec;
    }
}
