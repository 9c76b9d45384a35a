#pragma once
// Small pictures built in code for the count tests, and the files that hold them.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "core/Picture.h"

constexpr std::uint32_t kTarget = rgbColour(121, 223, 95);  // the default target colour
constexpr std::uint32_t kBlack = 0;

/// A width x height picture of one colour.
Picture filledPicture(int width, int height, std::uint32_t colour);
/// Sets the block of columns x .. x+w-1, rows y .. y+h-1 to colour.
void fillBlock(Picture& picture, int x, int y, int w, int h, std::uint32_t colour);
/// Number of pixels in which two pictures of the same size differ.
int differingPixels(const Picture& a, const Picture& b);

/// The whole file's bytes (none when it cannot be read).
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
/// Writes bytes as the whole file.
void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
/// A 24-bit BMP file of picture, rows bottom-up (as most programs write them) or top-down.
std::vector<std::uint8_t> bmpBytes(const Picture& picture, bool topDown = false);
