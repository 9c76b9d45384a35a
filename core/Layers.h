#pragma once
// The image window's three stacked picture layers, all of the same size.

#include "core/Picture.h"

struct Layers {
    Picture Image1;  // the original picture, read only for the count
    Picture Image2;  // the count view: rings, grid and scale bar
    Picture Image3;  // the area view: painted areas (AreaMarker) and centre markers (CentreMarker)
};
