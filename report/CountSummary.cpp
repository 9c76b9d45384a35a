#include "report/CountSummary.h"

#include <iomanip>
#include <locale>
#include <sstream>

std::string summaryHeader(bool blobs, bool learnt)
{
    std::string header = kSummaryHeader;
    if (blobs) header.insert(header.size() - 1, ",blob_count");
    if (learnt) header.insert(header.size() - 1, ",learnt_count");
    return header;
}

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string plainNumber(double value)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(10) << value;
    return out.str();
}

std::string summaryRow(const std::string& pathText, const TAnalysisState& state, std::optional<int> blobCount,
                       std::optional<int> learntCount)
{
    std::string row = csvField(pathText) + "," + std::to_string(state.ImageWidth) + "," +
                      std::to_string(state.ImageHeight) + "," + std::to_string(state.AutoCount) + "," +
                      plainNumber(state.ParticlesPerFilter) + "," + plainNumber(state.ParticlesPerCm3) + "," +
                      std::to_string(state.TotalAreaPixels);
    if (blobCount) row += "," + std::to_string(*blobCount);
    if (learntCount) row += "," + std::to_string(*learntCount);
    return row;
}
