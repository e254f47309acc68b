#include "render/paths.h"

#include <sys/stat.h>

#include <cctype>

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extensionOf(const std::string& path) {
    const std::string base = baseOf(path);
    const auto dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return lowered(base.substr(dot + 1));
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool fileExists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}
