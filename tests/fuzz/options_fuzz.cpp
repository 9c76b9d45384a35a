// Feeds the counter's option parsing with argument lists split from the fuzz input at NUL bytes, with
// or without a report reader for --params-from (see OptionInput.h).
#include <cstddef>
#include <cstdint>

#include "OptionInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const OptionsResult result = fuzzinput::parseOptionInput(data, size);
    // Either an error, or options a run can use.
    if (result.error.empty() && !result.options.help) {
        if (result.options.pictures.empty() || result.options.jobs < 1) __builtin_trap();
    }
    return 0;
}
