// Feeds arbitrary bytes to the report reader of "Open report" and sets the parameter fields from
// what it read, as the window does.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "report/ReportFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ReportReading reading = readReportText(bytes, "c_fuzz.txt");
    if (!reading.error.empty()) __builtin_trap();  // reading bytes never fails
    if (reading.panelColour.has_value() == !reading.colourError.empty()) __builtin_trap();
    ParameterTexts fields;
    const ReportFieldsOutcome outcome = applyReportFields(reading, fields);
    if (outcome.complete != reading.panelColour.has_value()) __builtin_trap();
    return 0;
}
