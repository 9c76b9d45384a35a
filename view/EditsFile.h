#pragma once
// The corrections file c_NAME.edits, saved beside the report c_NAME.txt: the count the corrections
// apply to and every add or removal in effect, in order. Plain text, one item a line:
//
//   SpotTally corrections 1
//   count 212
//   add 140 37
//   remove 88 410
//
// The first line names the file and its format version; positions are x (column) then y (row) in
// picture pixels. Lines end in a line feed (a carriage return before it is accepted).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/AtomicFile.h"
#include "view/EditHistory.h"

inline constexpr const char* kEditsFileHeading = "SpotTally corrections";
inline constexpr int kEditsFileVersion = 1;
/// A corrections file larger than this is refused unread (about a million corrections).
inline constexpr std::uintmax_t kMaxEditsFileBytes = 32u * 1024u * 1024u;

struct EditsFileContent {
    std::int32_t count = 0;  // AutoCount of the count the corrections apply to
    std::vector<EditAction> actions;
    bool operator==(const EditsFileContent&) const = default;
};

struct EditsReading {
    EditsFileContent content;
    std::string error;  // the file cannot be used: why, naming it
};

/// What a file's corrections make of its count: AutoCount after them and the two manual counters
/// (16 bits, as the record keeps them), as the report's lines 15 and 16 show them once made.
struct CorrectionsTally {
    std::int32_t autoCount = 0;
    std::uint16_t removed = 0;
    std::uint16_t added = 0;
};
CorrectionsTally tallyCorrections(const EditsFileContent& content);

/// The corrections file of the report reportFileName: "c_plate.txt" -> "c_plate.edits" (a name
/// without ".txt" gets ".edits" appended).
std::string editsFileName(std::string_view reportFileName);
/// The file's text.
std::string editsFileText(const EditsFileContent& content);
/// Reads a file's text; fileName names it in messages.
EditsReading parseEditsText(std::string_view text, const std::string& fileName);
/// Reads the file at path (never writes anything).
EditsReading readEditsFile(const std::filesystem::path& path);
/// Replaces path by the content, whole or not at all.
FileSaveOutcome writeEditsFile(const std::filesystem::path& path, const EditsFileContent& content);
