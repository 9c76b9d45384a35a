#include "report/MarkedPicture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/PictureLoading.h"

namespace fs = std::filesystem;

namespace {

// The permissions a new file gets from the process's umask.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string writeMarkedPicture(const Picture& countLayer, const fs::path& path) {
    const std::string failure = "Cannot save the marked picture \"" + path.string() + "\": ";
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return failure + std::strerror(errno);
    // A replaced picture keeps its permissions; a new one gets the usual ones.
    struct stat existing {};
    ::fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : newFileMode());
    ::close(fd);
    const auto fail = [&](const std::string& reason) {
        ::unlink(temporary.c_str());
        return failure + reason;
    };
    const std::string reason = writeJpegFile(countLayer, temporary, kMarkedPictureQuality);
    if (!reason.empty()) return fail(reason);
    // On the disk before it replaces the old file.
    const int written = ::open(temporary.c_str(), O_RDONLY);
    if (written < 0) return fail(std::strerror(errno));
    const bool synced = ::fsync(written) == 0;
    const int syncError = errno;
    ::close(written);
    if (!synced) return fail(std::strerror(syncError));
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(std::strerror(errno));
    return {};
}
