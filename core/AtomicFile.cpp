#include "core/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string quotedPath(const fs::path& path) { return "\"" + path.string() + "\""; }

std::string systemReason(int error) { return std::strerror(error); }

namespace {

// The permissions a new file gets from the process's umask.
mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string replaceFileAtomically(const fs::path& path, const TemporaryFiller& fill)
{
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return systemReason(errno);
    struct stat existing {};
    ::fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : newFileMode());
    const auto fail = [&](const std::string& reason) {
        ::unlink(temporary.c_str());
        return reason;
    };
    std::string reason = fill(fd);
    // On the disk before it replaces the old file.
    if (reason.empty() && ::fsync(fd) != 0) reason = systemReason(errno);
    if (::close(fd) != 0 && reason.empty()) reason = systemReason(errno);
    if (!reason.empty()) return fail(reason);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(systemReason(errno));
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
