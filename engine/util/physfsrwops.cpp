// SDL_RWops callbacks that forward to a PhysicsFS file kept in data1.
#include "util/physfsrwops.h"

namespace
{

PHYSFS_File *file_of(SDL_RWops *rw)
{
    return (PHYSFS_File *)rw->hidden.unknown.data1;
}

// Reading the code clears it in PhysicsFS; put it back for the caller's log.
const char *physfs_error_text(void)
{
    const PHYSFS_ErrorCode code = PHYSFS_getLastErrorCode();
    PHYSFS_setErrorCode(code);
    return PHYSFS_getErrorByCode(code);
}

Sint64 SDLCALL rw_size(SDL_RWops *rw)
{
    const PHYSFS_sint64 length = PHYSFS_fileLength(file_of(rw));
    if (length < 0) {
        SDL_SetError("PhysicsFS cannot tell the file's length");
        return -1;
    }
    return (Sint64)length;
}

Sint64 SDLCALL rw_seek(SDL_RWops *rw, Sint64 offset, int whence)
{
    PHYSFS_File *file = file_of(rw);
    Sint64 base;
    switch (whence) {
    case RW_SEEK_SET:
        base = 0;
        break;
    case RW_SEEK_CUR:
        base = (Sint64)PHYSFS_tell(file);
        if (base < 0) {
            SDL_SetError("PhysicsFS tell failed: %s", physfs_error_text());
            return -1;
        }
        break;
    case RW_SEEK_END:
        base = (Sint64)PHYSFS_fileLength(file);
        if (base < 0) {
            SDL_SetError("PhysicsFS cannot tell the file's length");
            return -1;
        }
        break;
    default:
        SDL_SetError("Unknown seek origin %d", whence);
        return -1;
    }
    if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset)) {
        SDL_SetError("Seek outside the file");
        return -1;
    }
    const Sint64 target = base + offset;
    if (!PHYSFS_seek(file, (PHYSFS_uint64)target)) {
        SDL_SetError("PhysicsFS seek failed: %s", physfs_error_text());
        return -1;
    }
    return target;
}

size_t SDLCALL rw_read(SDL_RWops *rw, void *ptr, size_t size, size_t maxnum)
{
    if (size == 0 || maxnum == 0) {
        return 0;
    }
    if (maxnum > SIZE_MAX / size) {
        SDL_SetError("Read request too large");
        return 0;
    }
    PHYSFS_File *file = file_of(rw);
    const PHYSFS_sint64 got = PHYSFS_readBytes(file, ptr, (PHYSFS_uint64)(size * maxnum));
    if (got < 0) {
        SDL_SetError("PhysicsFS read failed: %s", physfs_error_text());
        return 0;
    }
    if ((size_t)got < size * maxnum && !PHYSFS_eof(file)) {
        SDL_SetError("PhysicsFS read failed: %s", physfs_error_text());
    }
    return (size_t)got / size;
}

size_t SDLCALL rw_write(SDL_RWops *rw, const void *ptr, size_t size, size_t num)
{
    if (size == 0 || num == 0) {
        return 0;
    }
    if (num > SIZE_MAX / size) {
        SDL_SetError("Write request too large");
        return 0;
    }
    const PHYSFS_sint64 put = PHYSFS_writeBytes(file_of(rw), ptr, (PHYSFS_uint64)(size * num));
    if (put < 0) {
        SDL_SetError("PhysicsFS write failed: %s", physfs_error_text());
        return 0;
    }
    if ((size_t)put < size * num) {
        SDL_SetError("PhysicsFS write failed: %s", physfs_error_text());
    }
    return (size_t)put / size;
}

// The RWops goes away even when PhysicsFS cannot close (a failed final
// flush): SDL_RWclose's callers never touch the RWops again either way.
int SDLCALL rw_close(SDL_RWops *rw)
{
    int result = 0;
    if (!PHYSFS_close(file_of(rw))) {
        SDL_SetError("PhysicsFS close failed: %s", physfs_error_text());
        result = -1;
    }
    SDL_FreeRW(rw);
    return result;
}

} // namespace

SDL_RWops *PHYSFSRWOPS_makeRWops(PHYSFS_File *file)
{
    if (!file) {
        SDL_InvalidParamError("file");
        return NULL;
    }
    SDL_RWops *rw = SDL_AllocRW();
    if (!rw) {
        return NULL;
    }
    rw->size = rw_size;
    rw->seek = rw_seek;
    rw->read = rw_read;
    rw->write = rw_write;
    rw->close = rw_close;
    rw->type = SDL_RWOPS_UNKNOWN;
    rw->hidden.unknown.data1 = file;
    rw->hidden.unknown.data2 = NULL;
    return rw;
}

namespace
{

SDL_RWops *wrap_or_close(PHYSFS_File *file)
{
    if (!file) {
        SDL_SetError("PhysicsFS open failed: %s", physfs_error_text());
        return NULL;
    }
    SDL_RWops *rw = PHYSFSRWOPS_makeRWops(file);
    if (!rw) {
        PHYSFS_close(file);
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
    }
    return rw;
}

} // namespace

SDL_RWops *PHYSFSRWOPS_openRead(const char *path)
{
    return wrap_or_close(PHYSFS_openRead(path));
}

SDL_RWops *PHYSFSRWOPS_openWrite(const char *path)
{
    return wrap_or_close(PHYSFS_openWrite(path));
}

SDL_RWops *PHYSFSRWOPS_openAppend(const char *path)
{
    return wrap_or_close(PHYSFS_openAppend(path));
}
