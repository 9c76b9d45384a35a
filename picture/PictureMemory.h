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

/// Bytes of the three 24-bit layers of a width x height picture, and extraBytesPerPixel more for what
/// its decoder holds besides (a 16-bit copy, a decoder's own image).
std::uint64_t pictureLayersBytes(std::uint64_t width, std::uint64_t height,
                                 std::uint64_t extraBytesPerPixel = 0);
/// True when the three layers of a width x height picture and its decoder's extra bytes fit the limit.
bool pictureFitsMemoryLimit(std::uint64_t width, std::uint64_t height, std::uint64_t extraBytesPerPixel = 0);
/// "W x H pixels need N MB in three picture layers, more than the memory limit of M MB" ("... in three
/// picture layers and their decoding ..." with extra bytes): the reason the readers give for a picture
/// over the limit.
std::string overMemoryLimitReason(std::uint64_t width, std::uint64_t height,
                                  std::uint64_t extraBytesPerPixel = 0);

/// Shared (the counter's --jobs): the limit covers every picture of the process at once. Each thread
/// claims what its picture needs when its reader has read the size; a claim that does not fit beside
/// the other threads' claims waits until they give theirs back. Not shared (the default, one picture
/// at a time): a claim is the check of pictureFitsMemoryLimit.
void setPictureMemoryShared(bool shared);
/// The calling thread's claim for the width x height picture it decodes (replacing its earlier one).
/// False, without waiting, when the picture alone passes the limit.
bool claimPictureMemory(std::uint64_t width, std::uint64_t height, std::uint64_t extraBytesPerPixel = 0);
/// Gives back the calling thread's claim, once its picture's layers are freed.
void releasePictureMemory();
/// Bytes claimed by all threads now.
std::uint64_t claimedPictureMemory();

/// Where the claims of a second copy of this code (the counter's Qt module) go: to the first copy's
/// claimPictureMemory. Null: its own.
using PictureMemoryClaimer = bool (*)(std::uint64_t width, std::uint64_t height,
                                      std::uint64_t extraBytesPerPixel);
void setPictureMemoryClaimer(PictureMemoryClaimer claimer);
