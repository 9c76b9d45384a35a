#pragma once
// The files one run of the counter reads and writes, checked before anything is written: no output
// may replace an input or another output, whatever names them (the same path spelt twice, a hard or
// a symbolic link, a file in --out).

#include <filesystem>
#include <string>
#include <vector>

#include "cli/Options.h"

struct RunFile {
    std::filesystem::path path;
    std::string owner;  // what reads or writes it, for the message: a picture, or an option like "--summary"
};

struct RunFiles {
    std::vector<RunFile> inputs;
    std::vector<RunFile> outputs;
    void input(const std::filesystem::path& path, const std::string& owner)
    {
        inputs.push_back({path, owner});
    }
    void output(const std::filesystem::path& path, const std::string& owner)
    {
        outputs.push_back({path, owner});
    }
};

/// Why an output would replace an input or another output; empty when none would. Outputs written in
/// place (a named pipe, /dev/null) may be named more than once; they never replace an input.
std::string outputConflict(const RunFiles& files);

/// The inputs every command reads: the report of --params-from.
void addOptionInputs(const CounterOptions& options, RunFiles& files);
