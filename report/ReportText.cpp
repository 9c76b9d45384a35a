#include "report/ReportText.h"

#include <algorithm>

#include "report/NumberFormat.h"
#include "report/ReportFile.h"

std::string reportDateTime(const LocalDateTime& now, const RegionalDateTime& regional)
{
    int hour = now.hour;
    if (regional.twelveHour) {
        hour %= 12;
        if (hour == 0) hour = 12;
    }
    const auto twoDigits = [](int value) { return (value < 10 ? "0" : "") + std::to_string(value); };
    std::string time = regional.hourLeadingZero ? twoDigits(hour) : std::to_string(hour);
    time += regional.timeSeparator + twoDigits(now.minute);
    time += regional.timeSeparator + twoDigits(now.second);
    if (regional.twelveHour) {
        const std::string& marker = now.hour < 12 ? regional.amText : regional.pmText;
        if (!marker.empty()) time = regional.markerFirst ? marker + " " + time : time + " " + marker;
    }
    return formatDate(regional.shortDateFormat, now.year, now.month, now.day) + "  " + time;
}

std::string countLine(std::int32_t autoCount) { return "<Particles counted:> " + std::to_string(autoCount); }

std::string correctionsLine(std::uint16_t removed, std::uint16_t added)
{
    return "<including manually removed / added:> " + std::to_string(removed) + " / " + std::to_string(added);
}

bool reportShowsCount(const std::vector<std::string>& lines, std::int32_t autoCount, std::uint16_t removed,
                      std::uint16_t added)
{
    return lines.size() > kFirstResultLine + 1 && lines[kFirstResultLine] == countLine(autoCount) &&
           lines[kFirstResultLine + 1] == correctionsLine(removed, added);
}

std::string damagedPictureLine(const std::vector<std::string>& readerMessages)
{
    // One line whatever the messages hold; a reader that says much is cut short.
    constexpr std::size_t kShown = 3;
    std::string text;
    for (std::size_t i = 0; i < readerMessages.size() && i < kShown; ++i) {
        std::string message = readerMessages[i];
        std::replace(message.begin(), message.end(), '\r', ' ');
        std::replace(message.begin(), message.end(), '\n', ' ');
        text += (i == 0 ? "" : " | ") + message;
    }
    if (readerMessages.size() > kShown)
        text += " | and " + std::to_string(readerMessages.size() - kShown) + " more messages of the reader";
    if (text.empty()) text = "the picture's reader found it damaged";
    return kDamagedPictureLabel + text;
}

std::array<std::string, 4> resultLines(const TAnalysisState& state)
{
    return {
        countLine(state.AutoCount),
        correctionsLine(state.ManualRemoved, state.ManualAdded),
        "<Particles per filter:> " + formatScientific(state.ParticlesPerFilter),
        "<Particles per cm^3 of sample:> " + formatScientific(state.ParticlesPerCm3),
    };
}

std::vector<std::string> reportLines(const ParameterTexts& fields, const TAnalysisState& state,
                                     const std::string& dateTime)
{
    const std::array<std::string, 4> results = resultLines(state);
    // Line 2 always puts "c_" in front here; saving rewrites it by the report-name rule.
    return {
        "S p o t T a l l y  REPORT",
        "<do not change - except comments> ",
        "<Report file:> c_" + withoutPictureSuffix(state.ImageFileName) + ".txt",
        "<Image file analysed:> " + state.ImageFileName,
        "<Minimum size:> " + fields.Edmin,
        "<Maximum size:> " + fields.EdMax,
        "<Colour R / G / B:> " + fields.EdR + " / " + fields.EdG + " / " + fields.EdB,
        "<Colour tolerance:> " + fields.EdDevi,
        "<Brightness tolerance:> " + fields.Edhell,
        "<Minimum contrast:> " + fields.EdCont,
        "<Pixels per mm:> " + fields.Edpixmm,
        "<Filter area (mm^2):> " + fields.Edfilter,
        "<Sample volume (cm^3):> " + fields.EdVol,
        "<_______________________________> ",
        "<RESULTS> " + dateTime,
        results[0],
        results[1],
        results[2],
        results[3],
        "<_______________________________>",
        "<Comments: Total area (pixels):> " + formatScientific(static_cast<double>(state.TotalAreaPixels)),
    };
}

void replaceResultLines(std::vector<std::string>& lines, const TAnalysisState& state)
{
    const std::array<std::string, 4> results = resultLines(state);
    for (std::size_t i = 0; i < results.size(); ++i) {
        const std::size_t line = kFirstResultLine + i;
        if (line >= lines.size()) break;
        lines[line] = results[i];
    }
}

MemoChangeOutcome memoChangeRule(const TAnalysisState& state, bool exportEnabledNow)
{
    // Statistics count the particles per grid field: without a grid the button could only refuse.
    const bool exportCanWork = state.ExportMode == kExportXY || state.ExportMode == kExportParticles ||
                               (state.ExportMode == kExportStatistics && state.GridMicrons != 0);
    return {kReportCaptionUnsaved, exportEnabledNow || exportCanWork};
}

std::vector<std::string> splitMemoText(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}
