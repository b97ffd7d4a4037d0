// WriteWholeFile on POSIX: the bytes go to a new file beside the target,
// reach the disk, and then take the target's name in one rename. Whatever
// fails, the target keeps its old content and the new file is removed.
//
// What a rename changes compared with writing in place: the target gets a new
// inode, so a hard link to the old file keeps the old content; the mode bits
// and (where permitted) the owner are carried over.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "page.h"
#include "write_file_seam.h"

namespace dorvane {

namespace {

using write_file_seam::Fails;
using write_file_seam::Step;

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports close's result: a delayed write error shows here.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// The temporary file: removed when this goes out of scope, unless renamed.
class TempFile {
  public:
    explicit TempFile(std::string name) : name_(std::move(name)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!renamed_) ::unlink(name_.c_str());
    }
    const std::string& name() const { return name_; }
    void Renamed() { renamed_ = true; }

  private:
    std::string name_;
    bool renamed_ = false;
};

// "dir/name" -> "dir"; "name" -> "."; "/name" -> "/".
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows a chain of symbolic links to the name of the file that writing
// through the link would change. A missing last file is fine (a new file, or
// a dangling link whose target gets created); a loop is not.
std::optional<std::string> FollowLinks(std::string name) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0)
            return errno == ENOENT ? std::optional(name) : std::nullopt;
        if (!S_ISLNK(st.st_mode)) return name;
        std::string target(static_cast<std::size_t>(st.st_size) + 256, '\0');
        const ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
        target.resize(static_cast<std::size_t>(n));
        name = target.front() == '/' ? target : FolderOf(name) + "/" + target;
    }
    return std::nullopt;
}

// Creates a new, empty file with a name nobody else uses in folder; -1 when
// the folder cannot take one.
int CreateTemp(const std::string& folder, mode_t mode, std::string& name) {
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char unique[64];
        std::snprintf(unique, sizeof unique, "/.dorvane-%x-%x-%llx.tmp",
                      static_cast<unsigned>(::getpid()), counter.fetch_add(1),
                      now + static_cast<unsigned long long>(attempt) * 7919u);
        name = folder + unique;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool WriteAll(int fd, const Bytes& data) {
    std::size_t limit = data.size();
    if (Fails(Step::Write)) limit /= 2;
    std::size_t done = 0;
    while (done < limit) {
        const std::size_t chunk = std::min<std::size_t>(limit - done, std::size_t{1} << 30);
        const ssize_t n = ::write(fd, data.data() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return done == data.size();
}

}  // namespace

bool WriteWholeFile(std::string_view path, const Bytes& data) {
    if (path.empty()) return false;
    const std::string typed = Utf16ToUtf8(Cp936ToUtf16(path));
    // A zero byte would cut the name short and write somewhere else.
    if (typed.find('\0') != std::string::npos || typed.back() == '/') return false;

    const std::optional<std::string> target = FollowLinks(typed);
    if (!target) return false;

    struct stat st {};
    const bool exists = ::lstat(target->c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return false;  // e.g. a file used as a folder
    if (exists) {
        // Only a regular file is replaced: never a folder, device or FIFO.
        if (!S_ISREG(st.st_mode)) return false;
        // A file without any write permission bit is read-only, even to root.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
        if (::faccessat(AT_FDCWD, target->c_str(), W_OK, AT_EACCESS) != 0) return false;
    }

    const std::string folder = FolderOf(*target);
    std::string tempName;
    UniqueFd fd(CreateTemp(folder, exists ? S_IRUSR | S_IWUSR : 0666, tempName));
    if (fd.get() < 0) return false;
    TempFile temp(std::move(tempName));

    if (exists) {
        // The new file keeps the old one's owner (when we may) and mode bits.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored = ::fchown(fd.get(), st.st_uid, st.st_gid);
        }
        if (::fchmod(fd.get(), st.st_mode & 0777) != 0) return false;
    }

    if (!WriteAll(fd.get(), data)) return false;
    if (Fails(Step::Flush) || ::fsync(fd.get()) != 0) return false;
    if (!fd.Close()) return false;
    if (Fails(Step::Replace) || ::rename(temp.name().c_str(), target->c_str()) != 0) return false;
    temp.Renamed();

    // Make the rename itself durable. The page is in place already; a folder
    // that cannot be synced (some file systems refuse) does not undo that.
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) (void)::fsync(dir.get());
    return true;
}

}  // namespace dorvane

#endif  // !_WIN32
