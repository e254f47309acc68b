#include "render/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool PendingOutput::create(const std::string& path, int format, int sampleRate, const OutputSize& size,
                           std::string& error) {
    discard();
    path_ = path;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format;
    if (path == "-") {
        if (!openStandardOutput(info, size, error)) return false;
    } else {
        if (!temporary_.create(path, error)) return false;
        sink_ = std::make_unique<SoundSink>(temporary_.descriptor(), size.limit, size.reason);
        file_ = sink_->open(info);
        if (!file_) {
            error = std::string("cannot write ") + formatName(format) + ": " + sf_strerror(nullptr);
            discard();
            return false;
        }
    }
    if (size.downgrade) sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    return true;
}

bool PendingOutput::openStandardOutput(SF_INFO& info, const OutputSize& size, std::string& error) {
    const int out = standardOutput();
    if (isatty(out)) {
        error = "is a terminal; send the audio into a pipe or a file";
        return false;
    }
    struct stat status {};
    const bool seekable =
        fstat(out, &status) == 0 && S_ISREG(status.st_mode) && !(fcntl(out, F_GETFL) & O_APPEND);
    if (seekable) {
        sink_ = std::make_unique<SoundSink>(out, size.limit, size.reason);
        file_ = sink_->open(info);
    } else {
        relay_ = std::make_unique<StdoutRelay>();
        const int descriptor = relay_->start();
        if (descriptor >= 0) file_ = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    }
    if (file_) return true;
    error = std::string("cannot write ") + formatName(info.format) + " to standard output: " + sf_strerror(nullptr) +
            " (--type au, flac, caf, ogg or mp3 can go through a pipe)";
    discard();
    return false;
}

std::string PendingOutput::failure() const {
    if (sink_) return sink_->failure();
    if (relay_ && !relay_->failure().empty()) return relay_->failure();
    if (file_ && sf_error(file_) != SF_ERR_NO_ERROR) return sf_strerror(file_);
    return "";
}

bool PendingOutput::finish(std::string& error) {
    if (!file_) {
        error = "nothing written";
        return false;
    }
    const int closed = sf_close(file_);
    file_ = nullptr;
    std::string failed = sink_ ? sink_->failure() : relay_ ? relay_->finish() : "";
    if (failed.empty() && closed != 0) failed = sf_error_number(closed);
    if (failed.empty()) return true;
    error = "cannot write: " + failed;
    return false;
}

bool PendingOutput::commit(bool replace, std::string& error) {
    if (file_ && !finish(error)) {
        discard();
        return false;
    }
    if (temporary_.descriptor() < 0) return true;  // standard output
    return temporary_.commit(path_, replace, error);
}

void PendingOutput::discard() {
    if (file_) sf_close(file_);
    file_ = nullptr;
    if (relay_) relay_->finish();
    relay_.reset();
    sink_.reset();
    temporary_.discard();
}
