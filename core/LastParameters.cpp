#include "core/LastParameters.h"

#include <algorithm>
#include <array>

#include "core/SettingsFile.h"

namespace {

struct FieldKey {
    const char* key;
    std::string ParameterTexts::*field;
};

constexpr std::array<FieldKey, 11> kFieldKeys{{
    {"parameter-min-size", &ParameterTexts::Edmin},
    {"parameter-max-size", &ParameterTexts::EdMax},
    {"parameter-pixels-per-mm", &ParameterTexts::Edpixmm},
    {"parameter-filter-area", &ParameterTexts::Edfilter},
    {"parameter-volume", &ParameterTexts::EdVol},
    {"parameter-red", &ParameterTexts::EdR},
    {"parameter-green", &ParameterTexts::EdG},
    {"parameter-blue", &ParameterTexts::EdB},
    {"parameter-colour-tolerance", &ParameterTexts::EdDevi},
    {"parameter-brightness-tolerance", &ParameterTexts::Edhell},
    {"parameter-min-contrast", &ParameterTexts::EdCont},
}};

bool usable(const std::string& text)
{
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20; };
    return text.size() <= kLastParameterLength && std::none_of(text.begin(), text.end(), control);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> lastParameterEntries(const ParameterTexts& texts)
{
    std::vector<std::pair<std::string, std::string>> entries;
    for (const FieldKey& key : kFieldKeys) entries.emplace_back(key.key, texts.*key.field);
    return entries;
}

int readLastParameters(const std::vector<std::string>& laterLines, ParameterTexts& texts)
{
    int taken = 0;
    for (const FieldKey& key : kFieldKeys) {
        const std::vector<std::string> values = settingsValues(laterLines, key.key);
        if (values.size() != 1 || !usable(values.front())) continue;
        texts.*key.field = values.front();
        ++taken;
    }
    return taken;
}
