#pragma once
// The main window's field labels as messages name them ("'5x' in the field "Minimum size" is not a
// whole number."). The window's own labels and every message about a field take them from here.

inline constexpr const char* kMinSizeField = "Minimum size";                  // Edmin
inline constexpr const char* kMaxSizeField = "Maximum size";                  // EdMax
inline constexpr const char* kPixelsPerMmField = "Pixels / mm";               // Edpixmm
inline constexpr const char* kFilterAreaField = "Filter area";                // Edfilter
inline constexpr const char* kSampleVolumeField = "Sample volume";            // EdVol
inline constexpr const char* kRedField = "R";                                 // EdR
inline constexpr const char* kGreenField = "G";                               // EdG
inline constexpr const char* kBlueField = "B";                                // EdB
inline constexpr const char* kColourToleranceField = "Colour tolerance";      // EdDevi
inline constexpr const char* kBrightnessToleranceField = "Brightness tolerance";  // Edhell
inline constexpr const char* kMinContrastField = "Minimum contrast";          // EdCont
