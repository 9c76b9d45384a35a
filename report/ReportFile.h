#pragma once
// Report files: the names derived from the picture's name, the renaming of a pasted picture, writing
// the report text as Windows-1252 with CR LF line ends (atomically), and reading a saved report back.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/AnalysisState.h"
#include "core/AtomicFile.h"
#include "core/ParameterTexts.h"

// The pasted picture's name and the texts of its renaming (UTF-8; the accent is U+00B4).
inline constexpr const char* kClipboardPictureName = "CLIPBOARD.jpg";
inline constexpr const char* kClipboardMissingWarning = "File \xC2\xB4" "CLIPBOARD.jpg\xC2\xB4 not found!";
inline constexpr const char* kNameExistsWarning = "Name does already exist!";
inline constexpr const char* kRenameDialogTitle = "Please rename CLIPBOARD.jpg";
// Saving (the report, the marked picture, an export) with no count of the picture now loaded.
inline constexpr const char* kNoCountToSaveWarning =
    "Nothing saved: this picture has not been counted yet. Count it first, then save.";

// ---- Names ----------------------------------------------------------------------------------------

/// The name less its last four characters (a dot and a three-letter extension in normal use); a name
/// of four characters or fewer leaves nothing. Characters, not bytes: "Bäume.jpg" -> "Bäume".
std::string withoutLastFourCharacters(std::string_view name);
/// The name the report, x/y file and report line 2 are derived from: the name less its last four
/// characters, as ever for three-letter suffixes (stored reports keep matching); a picture suffix of
/// four letters (.jpeg, .tiff) is dropped whole, so photo.jpeg gives "photo", not "photo.".
std::string withoutPictureSuffix(std::string_view name);
/// The report's file name: "c_" + withoutPictureSuffix(name) + ".txt", the "c_" left out when that
/// already begins with it. sample.jpg and c_sample.jpg both give c_sample.txt.
std::string reportFileName(std::string_view imageFileName);
/// The marked picture's file name: "c_" + the full name, unless it begins with "c_" already.
std::string markedPictureName(std::string_view imageFileName);
/// A name whose own suffix is not a JPEG one (.jpg, .jpeg, .jpe in any case) gets ".jpg" appended:
/// the pasted picture is a JPEG and must open again as one.
std::string withJpgSuffix(std::string_view name);

/// True when saving must first rename the pasted picture: a report is active and its picture is
/// "CLIPBOARD.jpg".
bool needsClipboardRename(const TAnalysisState& state);

/// What the answer of the rename dialog asks for.
struct ClipboardRename {
    enum class Outcome { Rename, Cancelled, NameExists };
    Outcome outcome = Outcome::Cancelled;
    std::string newName;  // for Rename: the chosen file name (no folder), ".jpg" rule applied
    std::string warning;  // for NameExists: kNameExistsWarning
};
/// chosenPath is the dialog's answer (empty: cancelled); chosenExists tells whether that file, as
/// chosen (before ".jpg" is added), exists.
ClipboardRename decideClipboardRename(std::string_view chosenPath, bool chosenExists);

/// Lines 2 and 3 as saving writes them: "<Report file:> " + report name, "<Image file analysed:> " + name.
std::array<std::string, 2> nameLines(std::string_view imageFileName);
/// The same for a report saved under reportName (one of numberedName's names).
std::array<std::string, 2> nameLines(std::string_view imageFileName, std::string_view reportName);

/// A second count of a picture kept beside the first: name with "-number" before its suffix,
/// ("c_plate.txt", 2) -> "c_plate-2.txt", ("c_plate.jpg", 2) -> "c_plate-2.jpg"; a name without a
/// suffix gets it at the end.
std::string numberedName(std::string_view name, int number);
/// 0 when fileName is plainName itself, n when it is numberedName(plainName, n) for some n >= 2, and
/// nullopt for any other name.
std::optional<int> reportNumber(std::string_view fileName, std::string_view plainName);
/// Saving rewrites line 2 ("<Report file:> " + report name) and line 3 ("<Image file analysed:> " +
/// picture name); lines the text does not have are not created.
void rewriteNameLines(std::vector<std::string>& lines, std::string_view imageFileName);

// ---- Character set ----------------------------------------------------------------------------------

struct Windows1252Text {
    std::string bytes;
    std::size_t unrepresentable = 0;  // characters written as '?' because the code page lacks them
};
/// UTF-8 -> Windows-1252. The five bytes the code page leaves undefined stand for U+0081, U+008D,
/// U+008F, U+0090 and U+009D, so that any file read by decodeWindows1252 is written back unchanged.
Windows1252Text encodeWindows1252(std::string_view utf8);
/// Windows-1252 -> UTF-8.
std::string decodeWindows1252(std::string_view bytes);

// ---- Writing ----------------------------------------------------------------------------------------

/// Writes the report lines (UTF-8) as Windows-1252, each line, the last one too, ended by CR LF.
FileSaveOutcome writeReportFile(const std::filesystem::path& path, const std::vector<std::string>& lines,
                                const ByteWriter& writeBytes = nullptr);

// ---- Reading ----------------------------------------------------------------------------------------

inline constexpr std::uintmax_t kMaxReportFileBytes = 16u << 20;  // a report is a few hundred bytes

/// A saved report as read back: its lines and the values of lines 3 to 12.
struct ReportReading {
    std::string error;               // the file could not be read; nothing else is set
    std::vector<std::string> lines;  // the whole text, UTF-8, for the report window
    // Values (the text after the first "> ") of lines 3 to 12; absent for lines the file lacks.
    std::optional<std::string> pictureName;  // line 3
    std::optional<std::string> Edmin, EdMax;  // lines 4, 5
    std::optional<std::string> EdR, EdG, EdB;  // line 6, split at " / "
    std::optional<std::string> EdDevi, Edhell, EdCont, Edpixmm, Edfilter, EdVol;  // lines 7 to 12
    std::optional<std::uint32_t> panelColour;  // red + 256 green + 65536 blue; absent: colourError
    std::string colourError;                   // why the colour of line 6 cannot be used
    std::string missingLinesMessage;           // names the lines 3 to 12 the file lacks, if any
};

/// Reads a report file. Lines end at CR LF, LF or CR; the bytes are Windows-1252.
ReportReading readReportFile(const std::filesystem::path& path);
/// The same from the file's bytes; fileName is used in the messages.
ReportReading readReportText(std::string_view bytes, const std::string& fileName);

/// The value of a report line: the text after its first "> "; a line without "> " gives its text from
/// the second character on.
std::string reportLineValue(std::string_view line);

/// The colour split of line 6's value: red before the first blank; everything up to and including the
/// first " / " removed; green before the first blank of the rest; again up to " / " removed; the rest
/// is blue. A missing " / " leaves nothing for the colours after it.
struct ColourTexts {
    std::string red, green, blue;
};
ColourTexts splitColourValue(std::string_view value);

/// Sets the fields from a reading, in the reader's order: lines 4 and 5, then the colour of line 6;
/// the fields of lines 7 to 12 only when the colour is usable. Fields of missing lines keep their
/// texts. Returns the messages to show, in order (empty when everything was taken).
struct ReportFieldsOutcome {
    bool complete = false;  // all of lines 4 to 12 were usable (missing ones aside): show the window
    std::vector<std::string> messages;
};
ReportFieldsOutcome applyReportFields(const ReportReading& reading, ParameterTexts& fields);

/// Copies the report's values of lines 4 to 12 that it holds into fields (missing lines leave their
/// fields as they are); with upToColour, only the sizes and the colour (lines 4 to 6).
void copyReportValues(const ReportReading& reading, ParameterTexts& fields, bool upToColour = false);
