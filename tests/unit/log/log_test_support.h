// Helpers shared by the log and config tests: a fresh temporary directory per
// test, a real PhysicsFS with that directory as the write directory, standard
// output redirected into a file (or a pseudo-terminal), and the pending log
// entries taken as plain records.
#pragma once

#include <SDL.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <physfs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log/log.h"
#include "util/util.h"

struct captured_entry {
    int32_t level;
    std::string subsystem;
    std::string message;
};

// Takes every pending entry off the log.
inline std::vector<captured_entry> take_pending_entries(void)
{
    std::vector<captured_entry> out;
    struct log_entry *list = log_get_entries();
    for (const struct log_entry *e = list; e; e = e->next) {
        out.push_back({e->level, e->subsystem, e->message});
    }
    log_free_entries(list);
    return out;
}

inline std::vector<std::string> messages_of(const std::vector<captured_entry> &entries)
{
    std::vector<std::string> out;
    for (const captured_entry &e : entries) {
        out.push_back(e.message);
    }
    return out;
}

inline int count_message(const std::vector<captured_entry> &entries, const std::string &message)
{
    int n = 0;
    for (const captured_entry &e : entries) {
        n += (e.message == message);
    }
    return n;
}

inline std::string read_whole_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// A new empty directory under the test's own temporary folder.
inline std::string make_temp_dir(const char *tag)
{
    const char *root = getenv("ORV_TEST_TMPDIR");
    std::string pattern = std::string(root ? root : "/tmp") + "/" + tag + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        ADD_FAILURE() << "mkdtemp failed: " << strerror(errno);
        return std::string();
    }
    return std::string(buffer.data());
}

// PhysicsFS on the SDL allocator, with a fresh write directory that is also
// mounted; "logs" exists in it.
inline std::string start_physfs(const char *tag)
{
    util_physfs_use_sdl_allocator();
    EXPECT_NE(PHYSFS_init(nullptr), 0) << PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
    std::string dir = make_temp_dir(tag);
    EXPECT_NE(PHYSFS_setWriteDir(dir.c_str()), 0);
    EXPECT_NE(PHYSFS_mount(dir.c_str(), nullptr, 0), 0);
    PHYSFS_mkdir("logs");
    return dir;
}

// Redirects file descriptor 1 (and stdout) into a temporary file, or onto the
// given descriptor, until finish().
class stdout_redirect
{
  public:
    explicit stdout_redirect(int target = -1)
    {
        fflush(stdout);
        saved_ = dup(1);
        if (target < 0) {
            const char *root = getenv("ORV_TEST_TMPDIR");
            std::string pattern = std::string(root ? root : "/tmp") + "/stdout-XXXXXX";
            std::vector<char> name(pattern.begin(), pattern.end());
            name.push_back('\0');
            fd_ = mkstemp(name.data());
            EXPECT_GE(fd_, 0) << strerror(errno);
            path_ = name.data();
            target = fd_;
        }
        dup2(target, 1);
    }

    ~stdout_redirect()
    {
        finish();
    }

    // Restores standard output and returns what was written to the file.
    std::string finish()
    {
        if (saved_ >= 0) {
            fflush(stdout);
            dup2(saved_, 1);
            close(saved_);
            saved_ = -1;
            if (fd_ >= 0) {
                close(fd_);
                fd_ = -1;
                text_ = read_whole_file(path_);
                unlink(path_.c_str());
            }
        }
        return text_;
    }

  private:
    int saved_ = -1;
    int fd_ = -1;
    std::string path_;
    std::string text_;
};
