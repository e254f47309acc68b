#include "render/input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "render/formats.h"

InputFile::~InputFile() {
    if (file_) sf_close(file_);
}

bool InputFile::open(const std::string& path, std::string& error) {
    info_ = SF_INFO{};
    if (path == "-") {
        file_ = sf_open_fd(STDIN_FILENO, SFM_READ, &info_, SF_FALSE);
    } else {
        struct stat status {};
        if (stat(path.c_str(), &status) != 0) {
            error = std::strerror(errno);
            return false;
        }
        if (S_ISDIR(status.st_mode)) {
            error = "is a directory";
            return false;
        }
        if (access(path.c_str(), R_OK) != 0) {
            error = std::strerror(errno);
            return false;
        }
        file_ = sf_open(path.c_str(), SFM_READ, &info_);
    }
    if (!file_) {
        error = std::string("cannot read it as audio: ") + sf_strerror(nullptr);
        return false;
    }
    if (info_.channels > 2) {
        error = std::to_string(info_.channels) + " channels; only mono and stereo can be crossfed";
        return false;
    }
    if (info_.channels < 1 || info_.samplerate < 1) {
        error = "reports no channels or no sample rate";
        return false;
    }
    // libsndfile shortens a data chunk that runs past the end of the file
    // and says so only in its log: "data : 1764000 (should be 499956)".
    char log[8192] = {};
    sf_command(file_, SFC_GET_LOG_INFO, log, sizeof log - 1);
    const char* data = std::strstr(log, "\ndata : ");
    if (data && std::strstr(data, "(should be") && std::strchr(data + 1, '\n') > std::strstr(data, "(should be")) {
        const long long bytes = std::atoll(data + 8);
        const int width = integerBits(info_.format) > 0 ? integerBits(info_.format) / 8 : 4;
        const long long frame = static_cast<long long>(width) * info_.channels;
        if (bytes > 0 && frame > 0 && bytes / frame > info_.frames) promised_ = bytes / frame;
    }
    return true;
}
