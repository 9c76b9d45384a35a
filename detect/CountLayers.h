#pragma once
// The three layers one count run works on, named as the image window names them: the original it
// reads and the count and area layers it makes from it. They need not sit in one Layers: a count that
// may be cancelled reads the window's original where it is and writes layers of its own.

#include "core/Layers.h"

struct CountLayers {
    const Picture& Image1;  // read only
    Picture& Image2;
    Picture& Image3;

    CountLayers(Layers& layers) : Image1(layers.Image1), Image2(layers.Image2), Image3(layers.Image3) {}
    CountLayers(const Picture& original, Picture& countLayer, Picture& areaLayer)
        : Image1(original), Image2(countLayer), Image3(areaLayer)
    {
    }
};
