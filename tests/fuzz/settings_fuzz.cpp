// Feeds arbitrary bytes to the settings file reader and turns its line into the open dialogs'
// folder text, as the main window does at start.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string line = settingsFirstLine(bytes);
    if (line.size() > bytes.size() || line.find('\n') != std::string::npos) __builtin_trap();
    const QString folder = QString::fromLocal8Bit(line);
    return static_cast<int>(folder.size() & 0);
}
