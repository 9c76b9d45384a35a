#include "core/AtomicFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string quotedPath(const fs::path& path) { return "\"" + path.string() + "\""; }

std::string systemReason(int error) { return std::strerror(error); }

namespace {

// When this run began: a temporary file older than that cannot be one of ours still being written.
const std::chrono::system_clock::time_point kRunStart = std::chrono::system_clock::now();

// The permissions a new file gets from the process's umask.
mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool isTemporaryCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Removes what killed runs left behind in folder, once a run: regular files of our temporary naming,
// owned by us, last changed before this run began, and not locked by a writer still at work.
void removeStaleTemporaries(const fs::path& folder)
{
    static std::mutex lock;
    static std::set<std::string> cleaned;
    {
        std::lock_guard<std::mutex> guard(lock);
        std::error_code unknown;
        const fs::path absolute = fs::absolute(folder, unknown);
        if (unknown || !cleaned.insert(absolute.lexically_normal().string()).second) return;
    }
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    const std::string prefix = kTemporaryPrefix;
    const auto runStart = std::chrono::system_clock::to_time_t(kRunStart);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        bool ours = true;
        for (std::size_t i = prefix.size(); i < name.size(); ++i) ours = ours && isTemporaryCharacter(name[i]);
        if (!ours) continue;
        const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            info.st_mtime < runStart && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Still the file we looked at: only then is the name removed.
            struct stat named {};
            if (::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == info.st_ino &&
                named.st_dev == info.st_dev)
                ::unlinkat(dirFd, name.c_str(), 0);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

// The rename on the disk too: the folder's entry is flushed like the file's content.
void syncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // some file systems cannot flush a folder; the file itself is on the disk already
    ::close(fd);
}

}  // namespace

std::string writeProtectionReason(const fs::path& path)
{
    struct stat existing {};
    if (::stat(path.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) return {};
    if ((existing.st_mode & 0222) != 0) return {};
    return "the file is write-protected";
}

fs::path followedLinks(const fs::path& path)
{
    fs::path target = path;
    for (int links = 0; links < 40; ++links) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
        std::error_code ec;
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

bool writtenInPlace(const fs::path& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode));
}

std::string sameFileKey(const fs::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return "file " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::absolute(followedLinks(path), ec), ec);
    if (ec) resolved = fs::absolute(path, ec).lexically_normal();
    return "path " + resolved.string();
}

std::string replaceFileAtomically(const fs::path& givenPath, const TemporaryFiller& fill)
{
    // A link is kept: what it points to is the file replaced.
    const fs::path path = followedLinks(givenPath);
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
        if (!S_ISFIFO(target.st_mode) && !S_ISCHR(target.st_mode))
            return S_ISDIR(target.st_mode) ? systemReason(EISDIR) : "it is not a regular file";
        // A pipe or a device takes the bytes as they come: there is nothing to keep whole.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return systemReason(errno);
        std::string reason = fill(fd);
        if (::close(fd) != 0 && reason.empty()) reason = systemReason(errno);
        return reason;
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    // A write-protected file is not replaced, even where the folder would allow the rename.
    if (std::string reason = writeProtectionReason(path); !reason.empty()) return reason;
    removeStaleTemporaries(folder);
    // A short name of its own: a long target name plus a suffix could pass the name length limit.
    std::string temporary = (folder / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return systemReason(errno);
    // Held until the file is renamed or removed: another run's cleaning leaves it alone.
    ::flock(fd, LOCK_EX | LOCK_NB);
    struct stat existing {};
    ::fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : newFileMode());
    std::string reason = fill(fd);
    // On the disk before it replaces the old file; the lock is kept until the rename is done.
    if (reason.empty() && ::fsync(fd) != 0) reason = systemReason(errno);
    if (reason.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) reason = systemReason(errno);
    if (!reason.empty()) ::unlink(temporary.c_str());
    ::close(fd);  // after fsync, closing cannot lose data
    if (!reason.empty()) return reason;
    syncFolder(folder);
    return {};
}

FileSaveOutcome writeFileAtomically(const fs::path& path, std::string_view bytes, const ByteWriter& writeBytes)
{
    FileSaveOutcome outcome;
    const std::string reason = replaceFileAtomically(path, [&](int fd) -> std::string {
        std::size_t written = 0;
        while (written < bytes.size()) {
            const long n = writeBytes ? writeBytes(fd, bytes.data() + written, bytes.size() - written)
                                      : ::write(fd, bytes.data() + written, bytes.size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return systemReason(n < 0 ? errno : EIO);
            written += static_cast<std::size_t>(n);
        }
        return {};
    });
    if (!reason.empty()) outcome.error = "Cannot write the file " + quotedPath(path) + ": " + reason;
    return outcome;
}

std::string renameWithoutReplacing(const fs::path& from, const fs::path& to)
{
    const std::string failure = "Cannot rename " + quotedPath(from) + " to " + quotedPath(to) + ": ";
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS) return failure + systemReason(errno);
    // A file system without RENAME_NOREPLACE: a hard link fails as well when the new name exists.
    if (::link(from.c_str(), to.c_str()) != 0) return failure + systemReason(errno);
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());
        return failure + systemReason(error);
    }
    return {};
}

BoundedRead readBoundedFile(const std::filesystem::path& path, std::uintmax_t maxBytes)
{
    namespace fs = std::filesystem;
    BoundedRead read;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        read.reason = "the file does not exist.";
        return read;
    }
    if (!fs::is_regular_file(status)) {
        read.reason = "it is not a file.";
        return read;
    }
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        read.reason = error.message();
        return read;
    }
    if (size > maxBytes) {
        read.tooLarge = true;
        read.reason = "at " + std::to_string(size) + " bytes it is too large";
        return read;
    }
    std::ifstream file(path, std::ios::binary);
    read.bytes.assign(static_cast<std::size_t>(size), '\0');
    if (!file || !file.read(read.bytes.data(), static_cast<std::streamsize>(read.bytes.size()))) {
        read.bytes.clear();
        read.reason = systemReason(errno);
    }
    return read;
}
