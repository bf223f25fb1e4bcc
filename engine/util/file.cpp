// Whole-file access through PhysicsFS, writes to real directories beside it,
// file times and existence, and the PhysicsFS allocator hook.
#include "util/util.h"

#include <errno.h>
#include <physfs.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace
{

// First chunk when PhysicsFS cannot tell a file's size in advance.
constexpr size_t kUnknownSizeChunk = 4096;

PHYSFS_ErrorCode errno_to_physfs(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return PHYSFS_ERR_PERMISSION;
    case ENOENT:
        return PHYSFS_ERR_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
        return PHYSFS_ERR_BAD_FILENAME;
    case EISDIR:
        return PHYSFS_ERR_NOT_A_FILE;
    case EEXIST:
        return PHYSFS_ERR_DUPLICATE;
    case ENOSPC:
    case EDQUOT:
        return PHYSFS_ERR_NO_SPACE;
    case EROFS:
        return PHYSFS_ERR_READ_ONLY;
    case ENOMEM:
        return PHYSFS_ERR_OUT_OF_MEMORY;
    case EBUSY:
    case ETXTBSY:
        return PHYSFS_ERR_BUSY;
    case ELOOP:
        return PHYSFS_ERR_SYMLINK_LOOP;
    case EIO:
        return PHYSFS_ERR_IO;
    default:
        return PHYSFS_ERR_OS_ERROR;
    }
}

// Reads a file whose size PhysicsFS reports as unknown, growing the buffer.
char *read_unknown_length(const char *path, size_t *length)
{
    PHYSFS_File *file = PHYSFS_openRead(path);
    if (!file) {
        return NULL;
    }
    size_t capacity = kUnknownSizeChunk;
    size_t used = 0;
    char *buffer = (char *)SDL_malloc(capacity);
    if (!buffer) {
        PHYSFS_close(file);
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return NULL;
    }
    for (;;) {
        if (used + 1 == capacity) {
            if (capacity > UTIL_LOADFILE_MAX_LENGTH / 2) {
                goto too_large;
            }
            char *grown = (char *)SDL_realloc(buffer, capacity * 2);
            if (!grown) {
                PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
                goto fail;
            }
            buffer = grown;
            capacity *= 2;
        }
        // One byte stays free for the terminator.
        const PHYSFS_uint64 wanted = capacity - used - 1;
        const PHYSFS_sint64 got = PHYSFS_readBytes(file, buffer + used, wanted);
        if (got < 0) {
            goto fail;
        }
        used += (size_t)got;
        if ((PHYSFS_uint64)got < wanted) {
            // A short read is the end, unless the file knows its length and
            // says otherwise (a read error part way).
            if (!PHYSFS_eof(file) && PHYSFS_fileLength(file) >= 0) {
                goto fail;
            }
            break;
        }
    }
    if (!PHYSFS_close(file)) {
        SDL_free(buffer);
        return NULL;
    }
    buffer[used] = '\0';
    if (length) {
        *length = used;
    }
    return buffer;

too_large:
    PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
fail:
    SDL_free(buffer);
    PHYSFS_close(file);
    return NULL;
}

// Creates the directories above `path` in the write directory. The result is
// ignored: opening the file reports whatever went wrong.
void make_parent_directories(const char *path)
{
    const char *slash = strrchr(path, '/');
    if (!slash || slash == path) {
        return;
    }
    const size_t n = (size_t)(slash - path);
    char *dir = (char *)SDL_malloc(n + 1);
    if (!dir) {
        return;
    }
    memcpy(dir, path, n);
    dir[n] = '\0';
    PHYSFS_mkdir(dir);
    SDL_free(dir);
}

int write_all_and_close(PHYSFS_File *file, const void *data, size_t length)
{
    int ok = 1;
    if (length > 0) {
        ok = PHYSFS_writeBytes(file, data, (PHYSFS_uint64)length) == (PHYSFS_sint64)length;
    }
    if (!PHYSFS_close(file)) {
        ok = 0;
    }
    return ok;
}

// Deletes a file in the write directory without disturbing the error code
// that explains why it had to go.
void delete_keeping_error(const char *path)
{
    const PHYSFS_ErrorCode code = PHYSFS_getLastErrorCode();
    PHYSFS_delete(path);
    PHYSFS_setErrorCode(code);
}

// Real path of `path` inside the write directory; caller frees with SDL_free.
char *real_write_path(const char *path)
{
    const char *dir = PHYSFS_getWriteDir();
    if (!dir) {
        PHYSFS_setErrorCode(PHYSFS_ERR_NO_WRITE_DIR);
        return NULL;
    }
    const size_t n = strlen(dir);
    const char *sep = (n > 0 && dir[n - 1] == '/') ? "" : "/";
    char *real = sprintf_alloc("%s%s%s", dir, sep, path);
    if (!real) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
    }
    return real;
}

// A path handed to the override writers must stay inside the directory it is
// joined to: relative, and without any ".." component.
int override_path_is_confined(const char *path)
{
    if (!path || path[0] == '\0' || path[0] == '/') {
        return 0;
    }
    const char *part = path;
    for (;;) {
        const char *end = strchr(part, '/');
        const size_t n = end ? (size_t)(end - part) : strlen(part);
        if (n == 2 && part[0] == '.' && part[1] == '.') {
            return 0;
        }
        if (!end) {
            return 1;
        }
        part = end + 1;
    }
}

int write_override(const char *directory, const char *path, const void *data, size_t length,
                   const char *mode)
{
    if (!directory || directory[0] == '\0' || !override_path_is_confined(path)) {
        PHYSFS_setErrorCode(PHYSFS_ERR_BAD_FILENAME);
        return 0;
    }
    if (length > 0 && !data) {
        PHYSFS_setErrorCode(PHYSFS_ERR_INVALID_ARGUMENT);
        return 0;
    }
    char *full = sprintf_alloc("%s/%s", directory, path);
    if (!full) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return 0;
    }
    // Existing directories are the usual case; other failures are only noted,
    // since opening the file will fail for them anyway.
    for (char *p = full + 1; *p; p++) {
        if (*p != '/') {
            continue;
        }
        *p = '\0';
        if (mkdir(full, 0700) != 0 && errno != EEXIST) {
            PHYSFS_setErrorCode(errno_to_physfs(errno));
        }
        *p = '/';
    }
    errno = 0;
    SDL_RWops *rw = SDL_RWFromFile(full, mode);
    SDL_free(full);
    if (!rw) {
        PHYSFS_setErrorCode(errno ? errno_to_physfs(errno) : PHYSFS_ERR_OS_ERROR);
        return 0;
    }
    int ok = 1;
    if (length > 0) {
        // Size 1, count `length`: the result is then the number of bytes written.
        ok = SDL_RWwrite(rw, data, 1, length) == length;
    }
    if (SDL_RWclose(rw) != 0) {
        ok = 0;
    }
    if (!ok) {
        PHYSFS_setErrorCode(PHYSFS_ERR_IO);
    }
    return ok;
}

void *physfs_sdl_malloc(PHYSFS_uint64 size)
{
    if ((PHYSFS_uint64)(size_t)size != size) {
        return NULL;
    }
    return SDL_malloc((size_t)size);
}

void *physfs_sdl_realloc(void *old, PHYSFS_uint64 size)
{
    if ((PHYSFS_uint64)(size_t)size != size) {
        return NULL;
    }
    return SDL_realloc(old, (size_t)size);
}

void physfs_sdl_free(void *p)
{
    SDL_free(p);
}

const PHYSFS_Allocator kSdlAllocator = {
    NULL, NULL, physfs_sdl_malloc, physfs_sdl_realloc, physfs_sdl_free,
};

} // namespace

char *loadfile(const char *path, size_t *length)
{
    if (length) {
        *length = 0;
    }
    if (!path) {
        PHYSFS_setErrorCode(PHYSFS_ERR_INVALID_ARGUMENT);
        return NULL;
    }
    PHYSFS_Stat st;
    if (!PHYSFS_stat(path, &st)) {
        return NULL;
    }
    if (st.filetype == PHYSFS_FILETYPE_DIRECTORY) {
        PHYSFS_setErrorCode(PHYSFS_ERR_NOT_A_FILE);
        return NULL;
    }
    if (st.filesize < 0) {
        return read_unknown_length(path, length);
    }
    // Checked before adding the terminator so size + 1 cannot wrap, even where
    // size_t is 32 bits.
    if ((PHYSFS_uint64)st.filesize > UTIL_LOADFILE_MAX_LENGTH) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return NULL;
    }
    const size_t size = (size_t)st.filesize;
    char *buffer = (char *)SDL_malloc(size + 1);
    if (!buffer) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return NULL;
    }
    PHYSFS_File *file = PHYSFS_openRead(path);
    if (!file) {
        SDL_free(buffer);
        return NULL;
    }
    const PHYSFS_sint64 got = PHYSFS_readBytes(file, buffer, (PHYSFS_uint64)size);
    if (got != (PHYSFS_sint64)size) {
        if (got >= 0) {
            PHYSFS_setErrorCode(PHYSFS_ERR_PAST_EOF); // shrank since the stat
        }
        PHYSFS_close(file);
        SDL_free(buffer);
        return NULL;
    }
    if (!PHYSFS_close(file)) {
        SDL_free(buffer);
        return NULL;
    }
    buffer[size] = '\0';
    if (length) {
        *length = size;
    }
    return buffer;
}

int storefile(const char *path, const void *data, size_t length)
{
    if (!path || (length > 0 && !data)) {
        PHYSFS_setErrorCode(PHYSFS_ERR_INVALID_ARGUMENT);
        return 0;
    }
    make_parent_directories(path);

    // Write beside the target and rename into place, so an interrupted or
    // failed write never leaves a half-written file where a good one was.
    // The thread id keeps concurrent writers of one path apart.
    char *temp = sprintf_alloc("%s.tmp%lu", path, SDL_ThreadID());
    char *real_temp = NULL;
    char *real_target = NULL;
    int ok = 0;
    if (!temp) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return 0;
    }
    PHYSFS_File *file = PHYSFS_openWrite(temp);
    if (!file) {
        goto done;
    }
    if (!write_all_and_close(file, data, length)) {
        delete_keeping_error(temp);
        goto done;
    }
    real_temp = real_write_path(temp);
    real_target = real_write_path(path);
    if (!real_temp || !real_target) {
        delete_keeping_error(temp);
        goto done;
    }
    if (rename(real_temp, real_target) != 0) {
        PHYSFS_setErrorCode(errno_to_physfs(errno));
        delete_keeping_error(temp);
        goto done;
    }
    ok = 1;

done:
    SDL_free(real_target);
    SDL_free(real_temp);
    SDL_free(temp);
    return ok;
}

int appendfile(const char *path, const void *data, size_t length)
{
    if (!path || (length > 0 && !data)) {
        PHYSFS_setErrorCode(PHYSFS_ERR_INVALID_ARGUMENT);
        return 0;
    }
    make_parent_directories(path);
    PHYSFS_File *file = PHYSFS_openAppend(path);
    if (!file) {
        return 0;
    }
    return write_all_and_close(file, data, length);
}

int storefile_write_override(const char *directory, const char *path, const void *data,
                             size_t length)
{
    return write_override(directory, path, data, length, "wb");
}

int appendfile_write_override(const char *directory, const char *path, const void *data,
                              size_t length)
{
    return write_override(directory, path, data, length, "ab");
}

int64_t lastmodtime(const char *path)
{
    PHYSFS_Stat st;
    if (!path || !PHYSFS_stat(path, &st)) {
        return -1;
    }
    return (int64_t)st.modtime;
}

int path_exists(const char *path)
{
    return path && PHYSFS_exists(path) ? 1 : 0;
}

int util_physfs_use_sdl_allocator(void)
{
    return PHYSFS_setAllocator(&kSdlAllocator);
}
