#pragma once
// How much memory one picture may take: every reader checks a picture's claimed size against this limit
// before it allocates anything, so a small damaged or hostile file cannot claim gigabytes. Plain C++.

#include <cstdint>
#include <string>

/// Bytes the three picture layers of one picture (original, count and area layer, 3 bytes a pixel
/// each) may take together. By default half of the machine's physical memory.
std::uint64_t pictureMemoryLimit();
/// Sets the limit in bytes (a counter option raises it for very large pictures); 0 restores the
/// default. Applies to every reader from the next picture on.
void setPictureMemoryLimit(std::uint64_t bytes);

/// Bytes of the three 24-bit layers of a width x height picture.
std::uint64_t pictureLayersBytes(std::uint64_t width, std::uint64_t height);
/// True when the three layers of a width x height picture fit the limit.
bool pictureFitsMemoryLimit(std::uint64_t width, std::uint64_t height);
/// "W x H pixels need N MB in three picture layers, more than the memory limit of M MB": the reason
/// the readers give for a picture over the limit.
std::string overMemoryLimitReason(std::uint64_t width, std::uint64_t height);
