#include "report/ReportFile.h"
#include "core/FieldLabels.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "core/AtomicFile.h"
#include "core/FieldText.h"
#include "picture/PictureLoading.h"

namespace fs = std::filesystem;

namespace {

bool isContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

// Windows-1252 bytes 0x80..0x9F; 0 where the code page defines no character.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The code point a Windows-1252 byte stands for.
char32_t codePointOf(unsigned char byte)
{
    if (byte < 0x80 || byte > 0x9F) return byte;
    const char16_t mapped = kHighControls[byte - 0x80];
    return mapped != 0 ? mapped : byte;  // undefined bytes keep their C1 control code point
}

// The Windows-1252 byte of a code point, or -1.
int byteOf(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return static_cast<int>(codePoint);
    for (int i = 0; i < 32; ++i) {
        const char16_t mapped = kHighControls[i];
        if (mapped == codePoint || (mapped == 0 && codePoint == char32_t(0x80 + i))) return 0x80 + i;
    }
    return -1;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        appendUtf8(out, 0xFFFD);
    }
}

// Decodes one UTF-8 character at text[i], advancing i; an invalid sequence gives U+FFFD and skips a byte.
char32_t nextCodePoint(std::string_view text, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80           ? 1
                       : (lead >> 5) == 0x6  ? 2
                       : (lead >> 4) == 0xE  ? 3
                       : (lead >> 3) == 0x1E ? 4
                                             : 0;
    if (length == 0 || i + length > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (!isContinuationByte(next)) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    i += length;
    return c;
}

// A report saved by an editor in UTF-8 or UTF-16 with a byte-order mark, as UTF-8 without the mark;
// nullopt for anything else (Windows-1252, as the program writes it). Broken sequences become U+FFFD.
std::optional<std::string> textFromMarkedUnicode(std::string_view bytes)
{
    const auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    std::string out;
    if (startsWith("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        for (std::size_t i = 0; i < bytes.size();) appendUtf8(out, nextCodePoint(bytes, i));
        return out;
    }
    const bool little = startsWith("\xFF\xFE");
    if (!little && !startsWith("\xFE\xFF")) return std::nullopt;
    bytes.remove_prefix(2);
    const auto unitAt = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return little ? char32_t(a | (b << 8)) : char32_t((a << 8) | b);
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    if (i < bytes.size()) appendUtf8(out, 0xFFFD);  // an odd byte at the end
    return out;
}

// The report lines the reader takes values from, and what each is for.
constexpr int kPictureLine = 3;
constexpr int kColourLine = 6;
constexpr int kLastValueLine = 12;

std::string withCPrefix(std::string name)
{
    return name.rfind("c_", 0) == 0 ? name : "c_" + name;
}

}  // namespace

// ---- Names ----------------------------------------------------------------------------------------

std::string withoutLastFourCharacters(std::string_view name)
{
    std::size_t end = name.size();
    for (int dropped = 0; dropped < 4 && end > 0; ++dropped) {
        --end;
        while (end > 0 && isContinuationByte(static_cast<unsigned char>(name[end]))) --end;
    }
    return std::string(name.substr(0, end));
}

std::string withoutPictureSuffix(std::string_view name)
{
    // Deliberate: only a picture suffix longer than three letters (.jpeg, .tiff) is cut at its dot;
    // every other name loses its last four characters, as reports saved so far were named.
    const auto dot = name.rfind('.');
    const bool longPictureSuffix =
        dot != std::string_view::npos && name.size() - dot - 1 > 3 && pictureKindForName(name) != PictureKind::None;
    if (longPictureSuffix)
        return std::string(name.substr(0, dot));
    return withoutLastFourCharacters(name);
}

std::string reportFileName(std::string_view imageFileName)
{
    return withCPrefix(withoutPictureSuffix(imageFileName) + ".txt");
}

std::string markedPictureName(std::string_view imageFileName)
{
    return withCPrefix(std::string(imageFileName));
}

std::string withJpgSuffix(std::string_view name)
{
    std::string result(name);
    if (pictureKindForName(result) != PictureKind::Jpeg) result += ".jpg";
    return result;
}

bool needsClipboardRename(const TAnalysisState& state)
{
    return state.ReportActive && state.ImageFileName == kClipboardPictureName;
}

ClipboardRename decideClipboardRename(std::string_view chosenPath, bool chosenExists)
{
    ClipboardRename decision;
    if (chosenPath.empty()) return decision;
    if (chosenExists) {
        decision.outcome = ClipboardRename::Outcome::NameExists;
        decision.warning = kNameExistsWarning;
        return decision;
    }
    decision.outcome = ClipboardRename::Outcome::Rename;
    decision.newName = withJpgSuffix(namePart(chosenPath));
    return decision;
}

std::array<std::string, 2> nameLines(std::string_view imageFileName)
{
    return {"<Report file:> " + reportFileName(imageFileName),
            "<Image file analysed:> " + std::string(imageFileName)};
}

std::array<std::string, 2> nameLines(std::string_view imageFileName, std::string_view reportName)
{
    return {"<Report file:> " + std::string(reportName),
            "<Image file analysed:> " + std::string(imageFileName)};
}

namespace {

/// Where a name's suffix starts: its last '.', unless that is the first character; the end otherwise.
std::size_t suffixStart(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name.size() : dot;
}

}  // namespace

std::string numberedName(std::string_view name, int number)
{
    const std::size_t suffix = suffixStart(name);
    return std::string(name.substr(0, suffix)) + "-" + std::to_string(number) +
           std::string(name.substr(suffix));
}

std::optional<int> reportNumber(std::string_view fileName, std::string_view plainName)
{
    if (fileName == plainName) return 0;
    const std::size_t suffix = suffixStart(plainName);
    const std::string_view stem = plainName.substr(0, suffix), ending = plainName.substr(suffix);
    if (fileName.size() < stem.size() + ending.size() + 2 || fileName.substr(0, stem.size()) != stem ||
        fileName[stem.size()] != '-' || fileName.substr(fileName.size() - ending.size()) != ending)
        return std::nullopt;
    const std::string_view digits =
        fileName.substr(stem.size() + 1, fileName.size() - ending.size() - stem.size() - 1);
    int number = 0;
    for (const char digit : digits) {
        if (digit < '0' || digit > '9' || number > 100'000'000) return std::nullopt;
        number = 10 * number + (digit - '0');
    }
    // Only the names numberedName gives: no leading zero, no "-1".
    if (number < 2 || digits.front() == '0') return std::nullopt;
    return number;
}

void rewriteNameLines(std::vector<std::string>& lines, std::string_view imageFileName)
{
    const std::array<std::string, 2> names = nameLines(imageFileName);
    if (lines.size() > 2) lines[2] = names[0];
    if (lines.size() > 3) lines[3] = names[1];
}

// ---- Character set ----------------------------------------------------------------------------------

Windows1252Text encodeWindows1252(std::string_view utf8)
{
    Windows1252Text out;
    out.bytes.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const int byte = byteOf(nextCodePoint(utf8, i));
        if (byte < 0) {
            out.bytes += '?';
            ++out.unrepresentable;
        } else {
            out.bytes += static_cast<char>(byte);
        }
    }
    return out;
}

std::string decodeWindows1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) appendUtf8(out, codePointOf(static_cast<unsigned char>(c)));
    return out;
}

// ---- Writing ----------------------------------------------------------------------------------------

FileSaveOutcome writeReportFile(const fs::path& path, const std::vector<std::string>& lines,
                                const ByteWriter& writeBytes)
{
    std::string bytes;
    std::size_t unrepresentable = 0;
    for (const std::string& line : lines) {
        Windows1252Text encoded = encodeWindows1252(line);
        bytes += encoded.bytes;
        bytes += "\r\n";
        unrepresentable += encoded.unrepresentable;
    }
    FileSaveOutcome outcome = writeFileAtomically(path, bytes, writeBytes);
    if (outcome.saved() && unrepresentable > 0)
        outcome.warning = "The report " + quotedPath(path) + " was saved, but " +
                          std::to_string(unrepresentable) +
                          (unrepresentable == 1 ? " character" : " characters") +
                          " of its text cannot be stored in a report file (Windows-1252) and "
                          "were written as \"?\".";
    return outcome;
}

// ---- Reading ----------------------------------------------------------------------------------------

std::string reportLineValue(std::string_view line)
{
    const std::size_t label = line.find("> ");
    if (label != std::string_view::npos) return std::string(line.substr(label + 2));
    if (line.empty()) return {};
    std::size_t second = 1;
    while (second < line.size() && isContinuationByte(static_cast<unsigned char>(line[second]))) ++second;
    return std::string(line.substr(second));
}

ColourTexts splitColourValue(std::string_view value)
{
    const auto beforeBlank = [](std::string_view text) {
        return std::string(text.substr(0, text.find(' ')));
    };
    const auto afterSlash = [](std::string_view text) {
        const std::size_t slash = text.find(" / ");
        return slash == std::string_view::npos ? std::string_view() : text.substr(slash + 3);
    };
    ColourTexts colour;
    colour.red = beforeBlank(value);
    value = afterSlash(value);
    colour.green = beforeBlank(value);
    value = afterSlash(value);
    colour.blue = std::string(value);
    return colour;
}

ReportReading readReportText(std::string_view bytes, const std::string& fileName)
{
    ReportReading reading;
    // Reports are Windows-1252; one an editor saved as Unicode with a byte-order mark is read as such.
    const std::optional<std::string> unicode = textFromMarkedUnicode(bytes);
    if (unicode) bytes = *unicode;
    // Lines end at CR LF, LF or a lone CR; a line end at the very end starts no further line.
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find_first_of("\r\n", start);
        const std::string_view line = bytes.substr(start, end - start);
        reading.lines.push_back(unicode ? std::string(line) : decodeWindows1252(line));
        if (end == std::string_view::npos) break;
        start = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
    }
    const auto value = [&](int line) -> std::optional<std::string> {
        if (static_cast<std::size_t>(line) >= reading.lines.size()) return std::nullopt;
        return reportLineValue(reading.lines[line]);
    };
    reading.pictureName = value(kPictureLine);
    reading.Edmin = value(4);
    reading.EdMax = value(5);
    if (const auto colour = value(kColourLine)) {
        ColourTexts texts = splitColourValue(*colour);
        reading.EdR = texts.red;
        reading.EdG = texts.green;
        reading.EdB = texts.blue;
        try {
            const auto red = readWholeField(kRedField, texts.red, INT32_MIN, INT32_MAX);
            const auto green = readWholeField(kGreenField, texts.green, INT32_MIN, INT32_MAX);
            const auto blue = readWholeField(kBlueField, texts.blue, INT32_MIN, INT32_MAX);
            reading.panelColour = static_cast<std::uint32_t>(red + 256 * green + 65536 * blue);
        } catch (const FieldError& error) {
            reading.colourError = "The colour line of the report \"" + fileName + "\" cannot be used: " +
                                  error.message;
        }
    } else {
        reading.colourError = "The report \"" + fileName + "\" has no colour line (line 6).";
    }
    reading.EdDevi = value(7);
    reading.Edhell = value(8);
    reading.EdCont = value(9);
    reading.Edpixmm = value(10);
    reading.Edfilter = value(11);
    reading.EdVol = value(12);
    if (reading.lines.size() <= static_cast<std::size_t>(kLastValueLine)) {
        const std::size_t firstMissing = std::max<std::size_t>(reading.lines.size(), kPictureLine);
        reading.missingLinesMessage = "The report \"" + fileName + "\" is incomplete: lines " +
                                      std::to_string(firstMissing) + " to " + std::to_string(kLastValueLine) +
                                      " are missing. The settings of those lines were not changed.";
    }
    return reading;
}

ReportReading readReportFile(const fs::path& path)
{
    const BoundedRead read = readBoundedFile(path, kMaxReportFileBytes);
    if (read.reason.empty()) return readReportText(read.bytes, path.filename().string());
    ReportReading reading;
    reading.error = "Cannot read the report " + quotedPath(path) + ": " + read.reason +
                    (read.tooLarge ? " to be a report." : "");
    return reading;
}

void copyReportValues(const ReportReading& reading, ParameterTexts& fields, bool upToColour)
{
    const auto take = [](std::string& field, const std::optional<std::string>& value) {
        if (value) field = *value;
    };
    take(fields.Edmin, reading.Edmin);
    take(fields.EdMax, reading.EdMax);
    take(fields.EdR, reading.EdR);
    take(fields.EdG, reading.EdG);
    take(fields.EdB, reading.EdB);
    if (upToColour) return;
    take(fields.EdDevi, reading.EdDevi);
    take(fields.Edhell, reading.Edhell);
    take(fields.EdCont, reading.EdCont);
    take(fields.Edpixmm, reading.Edpixmm);
    take(fields.Edfilter, reading.Edfilter);
    take(fields.EdVol, reading.EdVol);
}

ReportFieldsOutcome applyReportFields(const ReportReading& reading, ParameterTexts& fields)
{
    ReportFieldsOutcome outcome;
    copyReportValues(reading, fields, !reading.panelColour);
    if (!reading.panelColour) {
        // Deliberate: the fields after the colour keep their texts, as a report reader always did.
        if (reading.EdR) outcome.messages.push_back(reading.colourError);
        if (!reading.missingLinesMessage.empty()) outcome.messages.push_back(reading.missingLinesMessage);
        return outcome;
    }
    if (!reading.missingLinesMessage.empty()) outcome.messages.push_back(reading.missingLinesMessage);
    outcome.complete = true;
    return outcome;
}
