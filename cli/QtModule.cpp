#include "cli/QtModule.h"

#include <dlfcn.h>

#include <mutex>
#include <system_error>
#include <vector>

#include "core/AtomicFile.h"
#include "picture/PictureMemory.h"
#include "picture/PngDecoding.h"

namespace {

constexpr const char* kModule = "spottally-count-qt.so";

std::once_flag loading;
void* module = nullptr;
std::string loadProblem;

void loadModule()
{
    std::vector<std::filesystem::path> places;
    std::error_code unknown;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", unknown);
    if (!unknown) places.push_back(self.parent_path() / kModule);
#ifdef SPOTTALLY_MODULE_DIR
    places.push_back(std::filesystem::path(SPOTTALLY_MODULE_DIR) / kModule);
#endif
    std::string reasons;
    for (const std::filesystem::path& place : places) {
        if (!std::filesystem::exists(place, unknown)) continue;
        module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module) return;
        const char* reason = dlerror();
        reasons += "; " + place.string() + ": " + (reason ? reason : "cannot be loaded");
    }
    loadProblem = std::string("cannot load the counter's module ") + kModule + (reasons.empty() ? ": not found" : reasons);
}

}  // namespace

void* counterQtFunction(const char* name, std::string& problem)
{
    std::call_once(loading, loadModule);
    if (!module) {
        problem = loadProblem;
        return nullptr;
    }
    void* function = dlsym(module, name);
    if (!function) problem = std::string("the counter's module ") + kModule + " has no " + name;
    return function;
}

// The counter's PNG decoder: Qt's, in the module.
DecodedPicture decodePng(const std::filesystem::path& path)
{
    std::string problem;
    const auto decode = reinterpret_cast<DecodePngFunction>(counterQtFunction("spottallyDecodePng", problem));
    DecodedPicture result;
    if (!decode) {
        result.error = "Cannot read the PNG picture " + quotedPath(path) + ": " + problem + ".";
        return result;
    }
    const PngRequest request{path, pictureMemoryLimit(), sampleRange(), &claimPictureMemory};
    decode(&request, &result);
    return result;
}
