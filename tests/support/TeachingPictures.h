#pragma once
// Generated pictures for teaching by example: four stains on unevenly lit ground, with debris and
// touching pairs; every particle's true centre is known.

#include <string>
#include <vector>

#include "detect/Marks.h"
#include "support/SyntheticMicrograph.h"

struct TeachingKind {
    std::string name;
    MicrographOptions options;  // seed left at 1: pictures of a kind differ by their number
};

/// The kinds: green, red, blue and orange stains, each with its own particle sizes.
std::vector<TeachingKind> teachingKinds();

/// Picture number index of a kind (800 x 600 pixels).
Micrograph makeTeachingPicture(const TeachingKind& kind, int index);

/// The true centres inside region, as a user would click them (the pixel holding the centre).
std::vector<Mark> trueCentres(const Micrograph& micrograph, const PixelRegion& region);
