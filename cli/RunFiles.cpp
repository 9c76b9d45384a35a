#include "cli/RunFiles.h"

#include <map>

#include "core/AtomicFile.h"
#include "detect/DensityCount.h"

namespace fs = std::filesystem;

std::string outputConflict(const RunFiles& files)
{
    std::map<std::string, const RunFile*> inputs;
    for (const RunFile& input : files.inputs) inputs.emplace(sameFileKey(input.path), &input);
    std::map<std::string, const RunFile*> written;
    for (const RunFile& output : files.outputs) {
        const std::string key = sameFileKey(output.path);
        if (const auto input = inputs.find(key); input != inputs.end())
            return "the output " + quotedPath(output.path) + " of " + quotedPath(output.owner) +
                   " would replace the input " + quotedPath(input->second->path);
        if (writtenInPlace(output.path)) continue;
        const auto [at, added] = written.emplace(key, &output);
        if (!added)
            return quotedPath(at->second->owner) + " and " + quotedPath(output.owner) + " would both write " +
                   quotedPath(output.path);
    }
    return {};
}

void addOptionInputs(const CounterOptions& options, RunFiles& files)
{
    if (!options.blobSettingsFrom.empty()) {
        files.input(options.blobSettingsFrom, "--params-from");
        files.input(densityModelPath(options.blobSettingsFrom), "--params-from");
    }
}
