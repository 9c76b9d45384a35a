#pragma once
// The report text: its 21 lines, the in-place update of the four result lines (calcres) and the rule
// that runs on every change of the text (Memo1Change). Lines are UTF-8 without line ends.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/AnalysisState.h"
#include "core/Regional.h"
#include "core/ParameterTexts.h"

// Captions of the report window.
// Until the text first changes:
inline constexpr const char* kReportCaptionNew = "SpotTally - Report";
inline constexpr const char* kReportCaptionUnsaved = "SpotTally Report (unsaved)";
inline constexpr const char* kReportCaptionSaved = "SpotTally Report";          // saved or just opened

inline constexpr int kReportLineCount = 21;
inline constexpr int kFirstResultLine = 15;  // lines 15 to 18 carry the count and the results

/// Line 14's date and time: short date, two spaces, hours/minutes/seconds with the time separator.
std::string reportDateTime(const LocalDateTime& now, const RegionalDateTime& regional);

/// The 21 report lines for the record (results already computed) and the parameter fields' texts.
std::vector<std::string> reportLines(const ParameterTexts& fields, const TAnalysisState& state,
                                     const std::string& dateTime);

/// Lines 15 to 18: count, manual corrections, particles per filter, particles per cm^3.
std::array<std::string, 4> resultLines(const TAnalysisState& state);
/// Line 15 for a count of autoCount particles, line 16 for removed / added by hand.
std::string countLine(std::int32_t autoCount);
std::string correctionsLine(std::uint16_t removed, std::uint16_t added);
/// Lines 15 and 16 of lines say that count: autoCount particles with removed / added by hand. False
/// when either line is missing or says anything else.
bool reportShowsCount(const std::vector<std::string>& lines, std::int32_t autoCount, std::uint16_t removed,
                      std::uint16_t added);

/// The comment line a report of a damaged picture carries after line 20 (before any blob or
/// statistics lines): the reader's messages, and that what could not be decoded was counted as filter
/// area. The report reader never reads it.
inline constexpr const char* kDamagedPictureLabel =
    "<Damaged picture - what could not be decoded is counted as filter area:> ";
std::string damagedPictureLine(const std::vector<std::string>& readerMessages);

/// calcres on a list of lines: replaces lines 15 to 18 where they exist; adds none, touches no other.
void replaceResultLines(std::vector<std::string>& lines, const TAnalysisState& state);

/// What the change rule makes of the window after any change of the text.
struct MemoChangeOutcome {
    std::string caption;
    bool exportEnabled;  // BnExp; the rule enables it for x/y data, or for statistics with a grid set,
                         // and never disables it
};
MemoChangeOutcome memoChangeRule(const TAnalysisState& state, bool exportEnabledNow);

/// The text of the report area as lines: split at line feeds; a final line feed ends the last line
/// rather than starting an empty one, and an empty text has no lines.
std::vector<std::string> splitMemoText(std::string_view text);
