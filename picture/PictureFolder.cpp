#include "picture/PictureFolder.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "core/AtomicFile.h"
#include "picture/PictureLoading.h"

namespace fs = std::filesystem;

std::vector<fs::path> picturesOfFolder(const fs::path& folder, bool recursive, std::string& error)
{
    std::vector<fs::path> found;
    std::error_code ec;
    const auto take = [&](const fs::directory_entry& entry) {
        const std::string name = entry.path().filename().string();
        std::error_code ignored;
        if (name.empty() || name[0] == '.' || !entry.is_regular_file(ignored)) return;
        if (pictureKindForName(name) != PictureKind::None) found.push_back(entry.path());
    };
    if (recursive) {
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().filename().string().rfind('.', 0) == 0 && it->is_directory(ec)) {
                it.disable_recursion_pending();  // hidden folders are left out
                continue;
            }
            take(*it);
        }
    } else {
        fs::directory_iterator it(folder, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) take(*it);
    }
    if (ec) {
        error = "cannot read the folder " + quotedPath(folder) + ": " + ec.message();
        return {};
    }
    std::set<fs::path> all(found.begin(), found.end());
    std::vector<fs::path> pictures;
    for (const fs::path& path : found) {
        const std::string name = path.filename().string();
        if (name.rfind("c_", 0) == 0 && all.count(path.parent_path() / name.substr(2))) continue;
        pictures.push_back(path);
    }
    std::sort(pictures.begin(), pictures.end());
    if (pictures.empty()) error = "no pictures in the folder " + quotedPath(folder);
    return pictures;
}
