// The files the filter keeps between runs in the user's temporary folder: the folder
// itself and the fixed names of the cached settings, memory dots, their map and undo steps.
#pragma once

#include <string>
#include <string_view>

namespace mirel {

// Every name begins with the product name so that a user who looks into the folder can
// tell whose files they are. None of them is ever deleted by the filter.
constexpr const char* kProductName = "Mirel";
constexpr const char* kCachedSettingsName = "Mirel cached settings D";
constexpr const char* kMemoryDotMapName = "Mirel memdot map 2";
constexpr const char* kSettingsFileExtension = ".q8r";

// Memory-dot files are numbered 0 to 25; undo files 0 and 1.
constexpr int kFirstMemoryDotFile = 0;
constexpr int kLastMemoryDotFile = 25;
constexpr int kUndoFileCount = 2;

// The temporary folder, always ending in a separator, so names are appended directly.
std::string tempFolder();

// A name inside the temporary folder.
std::string tempFilePath(std::string_view name);

std::string cachedSettingsPath();
std::string memoryDotMapPath();
// "Mirel A memory dot <index>.q8r"; empty for an index outside 0..25.
std::string memoryDotFileName(int index);
std::string memoryDotFilePath(int index);
// "Mirel undo <index>"; empty for an index other than 0 or 1.
std::string undoFileName(int index);
std::string undoFilePath(int index);

}  // namespace mirel
