#pragma once
// How the options fuzz target reads its input, shared with the replay of its corpus: the first byte
// chooses whether --params-from has a report reader (lowest bit set); the rest, up to the marker
// "@@REPORT@@", is the argument list split at NUL bytes; what follows the marker is the report the
// reader parses, as the counter's own reader does with a report file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Options.h"
#include "report/ReportFile.h"

namespace fuzzinput {

inline std::string_view& reportBytes() {
    static std::string_view bytes;
    return bytes;
}

/// The counter's reader of --params-from on the input's report bytes.
inline ReportReading readReportFromInput(const std::filesystem::path& report) {
    return readReportText(reportBytes(), report.filename().string());
}

/// Parses the options an input stands for. The input's report bytes must outlive the call.
inline OptionsResult parseOptionInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return parseCounterOptions({}, nullptr);
    constexpr std::string_view kReportMarker = "@@REPORT@@";
    const bool withReader = (data[0] & 1) != 0;
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t marker = input.find(kReportMarker);
    reportBytes() =
        marker == std::string_view::npos ? std::string_view() : input.substr(marker + kReportMarker.size());
    input = input.substr(0, marker);
    std::vector<std::string> arguments;
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        arguments.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    return parseCounterOptions(arguments, withReader ? readReportFromInput : nullptr);
}

}  // namespace fuzzinput
