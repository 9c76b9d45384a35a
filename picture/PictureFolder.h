#pragma once
// The pictures of a folder: the files a count or a series takes from it.

#include <filesystem>
#include <string>
#include <vector>

/// The pictures of a folder, sorted by path: files with a picture's suffix, hidden ones left out, and
/// so are marked pictures c_NAME beside their picture NAME (a count of the folder wrote them). With
/// recursive, the folders inside it too, hidden ones left out. An empty list sets error.
std::vector<std::filesystem::path> picturesOfFolder(const std::filesystem::path& folder, bool recursive,
                                                    std::string& error);
