#pragma once
// ParameterTexts: the texts of the main window's parameter fields, as the user typed them. The core
// converts them at the moment it needs a value (so a bad text is reported by the command that reads
// it); the headless counter fills them from its options.

#include <string>

struct ParameterTexts {
    std::string Edmin = "5";        // minimum particle size, pixels
    std::string EdMax = "8";        // maximum particle size, pixels
    std::string Edpixmm = "3952";   // picture scale, pixels per millimetre
    std::string Edfilter = "378";   // analysed filter area, mm^2
    std::string EdVol = "0,143";    // sample volume, cm^3 (decimal; the window writes the regional separator)
    std::string EdR = "121";        // target colour, red
    std::string EdG = "223";        // target colour, green
    std::string EdB = "95";         // target colour, blue
    std::string EdDevi = "40";      // colour tolerance
    std::string Edhell = "50";      // brightness tolerance
    std::string EdCont = "40";      // minimum contrast
};
