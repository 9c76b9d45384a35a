#pragma once
// Files replaced whole or not at all: the content goes to a temporary file in the target's folder,
// is flushed to the disk, and only then renamed over the target. A failure at any point leaves an
// existing file as it was. Also the small texts every file message uses.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

/// A path in double quotes, as messages name files.
std::string quotedPath(const std::filesystem::path& path);
/// The system's text for an errno value.
std::string systemReason(int error);

/// A small file read whole (a report, a corrections file), after a look at its size.
struct BoundedRead {
    std::string bytes;
    std::string reason;      // why it could not be read ("the file does not exist.", ...); empty on success
    bool tooLarge = false;   // the file is over the limit: reason is "at N bytes it is too large", unended
};
/// Reads path whole when it is a regular file of at most maxBytes; nothing is read of a larger one.
BoundedRead readBoundedFile(const std::filesystem::path& path, std::uintmax_t maxBytes);

struct FileSaveOutcome {
    std::string error;    // the file was not written (an existing one is left as it was)
    std::string warning;  // written, but something the user should know (characters replaced)
    bool saved() const { return error.empty(); }
};

/// Writes the content of the temporary file through its descriptor (left open for the caller to
/// close). Returns an empty text on success, else the reason.
using TemporaryFiller = std::function<std::string(int fd)>;

/// Temporary files are named this prefix + six letters or digits, in the target's folder. Such files
/// left by a killed run (older than this run, not in use) are removed on the first save in a folder.
inline constexpr const char* kTemporaryPrefix = ".spottally-";

/// Why path must not be replaced: "the file is write-protected" for an existing file without any
/// write permission bit (whoever runs the program), else an empty text.
std::string writeProtectionReason(const std::filesystem::path& path);

/// Replaces path with what fill writes. A replaced file keeps its permissions; a new one gets the
/// usual ones from the umask; a write-protected one is refused. After the rename the folder is
/// flushed too. A symbolic link stays: the file it points to is replaced. A named pipe or a character
/// device (/dev/null, a terminal) is written in place, never replaced by a regular file; a folder or
/// any other kind of file is refused. Returns an empty text on success, else the reason (no file name).
std::string replaceFileAtomically(const std::filesystem::path& path, const TemporaryFiller& fill);

/// The file path names once its symbolic links are followed (as far as they lead; at most 40).
std::filesystem::path followedLinks(const std::filesystem::path& path);

/// True for a named pipe or a character device: written in place, where a rename would replace them.
bool writtenInPlace(const std::filesystem::path& path);

/// Equal for two names of one file: the device and inode of an existing file (through hard and
/// symbolic links), else the absolute path with its existing part resolved.
std::string sameFileKey(const std::filesystem::path& path);

/// Writes data through fd; for tests, writeBytes replaces ::write.
using ByteWriter = std::function<long(int fd, const char* data, std::size_t size)>;

/// Replaces path by bytes; on failure the error reads "Cannot write the file "PATH": reason".
FileSaveOutcome writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                    const ByteWriter& writeBytes = nullptr);

/// Renames a file, refusing to replace an existing one. Returns an empty text on success, else a
/// message naming both files and the reason.
std::string renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
