// Small helpers on file names and the files they name.
#pragma once

#include <string>

// "." for a name without a folder.
std::string directoryOf(const std::string& path);
std::string baseOf(const std::string& path);
// Lower-case extension of a file name, "" when it has none.
std::string extensionOf(const std::string& path);
std::string lowered(std::string text);

bool sameFile(const std::string& a, const std::string& b);
bool fileExists(const std::string& path);
