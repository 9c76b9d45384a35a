#include "core/HelpTexts.h"

#include <system_error>

#include "core/Version.h"

namespace {

constexpr const char* kSpacedName = "S p o t T a l l y";
constexpr const char* kAuthorNotice = "(c) The SpotTally developers";
constexpr const char* kWebSite = "https://spottally.invalid/";

std::string joinHelpLines(std::initializer_list<std::string> lines)
{
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += kHelpLineBreak;
        text += line;
    }
    return text;
}

}  // namespace

std::string infoText()
{
    return joinHelpLines({kSpacedName, "Free for non-commercial use, without any warranty.", kAuthorNotice,
                          std::string("Version ") + kProgramVersion});
}

std::string manualNotFoundText()
{
    return joinHelpLines({kSpacedName, "Manual (SpotTally_Manual.txt) not found.",
                          std::string("Please look at ") + kWebSite, "for the newest version."});
}

const std::vector<std::string>& builtInManualLines()
{
    static const std::vector<std::string> lines = {
        std::string(kSpacedName) + "    " + kAuthorNotice,
        "",
        std::string("M a n u a l   Version ") + kProgramVersion,
        "",
        "",
        "__________________",
        "General description",
        "",
        "SpotTally counts particles - bacteria, cells, grains - on digital pictures, typically micrographs "
        "of membrane filters. It is free for non-commercial use and comes without any warranty.",
        "The program detects and counts the particles that match the parameters you set. You can correct "
        "the result by hand, and save it as a text report and as a JPEG picture with every counted particle "
        "marked.",
        "",
        "",
        "__________________",
        "Installation",
        "",
        "The program is one executable plus this help text. No installation is needed and no system files "
        "are changed. Keep the executable and SpotTally_Manual.txt in the same folder.",
        "The folder of the last picture you opened is remembered in SpotTally.ini.",
        "",
        "",
        "__________________",
        "Image files",
        "",
        "JPEG pictures (.jpg, .jpeg, .jpe), bitmaps (.bmp), PNG pictures (.png) and TIFF files (.tif, .tiff) "
        "are read, whatever the letter case of the suffix; uncompressed TIFF files work best. Files with any "
        "other suffix are refused.",
        "The view can be zoomed with [ - ] and [ + ]; some steps set it back to 100 %.",
        "Pictures you analyse are never changed. Results are saved beside the picture under the name \"c_\" "
        "plus the picture's name.",
        "A picture pasted from another program is kept as CLIPBOARD.jpg; you will be asked for a name of its "
        "own before the report and the marked picture can be saved.",
        "Use sharp pictures of good quality with particles of similar appearance. If the particles lie at "
        "different depths, combine a focus series with a stacking tool first.",
        "",
        "",
        "__________________ Parameters used",
        "",
        "The particles are described by three groups of parameters.",
        "",
        "__________________",
        "Size",
        "",
        "Minimum and maximum particle size in pixels. You do not need to know them in advance: try a few "
        "values and watch the rings on the count view.",
        "",
        "__________________",
        "Colour, brightness, contrast",
        "",
        "Set the particle colour by clicking a typical particle in the original picture while holding the "
        "Ctrl key. The colour and its red, green and blue values then appear in the main window, where you "
        "can also type them.",
        "Colour tolerance, brightness tolerance and minimum contrast describe the particles further. Vary "
        "them to get the best result.",
        "",
        "__________________",
        "Calculation parameters",
        "",
        "Pixels per millimetre (the picture's scale), the analysed filter area in mm2 and the sample volume "
        "in cm3 turn the count into particles per filter and particles per cm3 of sample.",
        "",
        "",
        "__________________ Optimizing the results",
        "",
        "Adjust the parameters until (almost) all particles are found and none is found falsely.",
        "\"Flip image\" switches between the original picture, the count view with a ring around every "
        "particle and the area view with the particle areas painted.",
        "Particles can be removed or added by hand: choose the click mode in the menu above the picture, "
        "then click on the count view. A removal takes the counted particle within 5 pixels of the click.",
        "",
        "",
        "__________________",
        "Report",
        "",
        "Parameters and results are summarised in a third window, where you can add comments below the "
        "report lines.",
        "Save the report as text, or as text plus marked picture, with the corresponding button. Particle "
        "areas are given in pixels only.",
        "File names are made automatically in the picture's folder: \"c_\" plus the picture's name plus "
        "\".txt\", and \"c_\" plus the picture's name for the marked picture.",
        "\"Open report\" in the File menu loads a saved report again, with its parameters and its picture.",
        "",
        "",
        "___________________",
        "Good luck with your counting! Problems and suggestions are always welcome.",
        "The SpotTally developers",
        kWebSite,
    };
    return lines;
}

std::filesystem::path findManualFile(const std::filesystem::path& executableFolder,
                                     const std::filesystem::path& installedDataFolder)
{
    std::error_code ec;
    for (const auto& folder : {executableFolder, installedDataFolder}) {
        if (folder.empty()) continue;
        const auto path = folder / kManualFileName;
        if (std::filesystem::is_regular_file(path, ec)) return path;
    }
    return {};
}
