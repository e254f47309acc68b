#include "render/console.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "render/sink.h"

namespace {

// Sent through the libraries' pipe by `sync`; no library prints it.
constexpr char kSyncMark = '\x01';

// Control characters (a newline in a file name) written as C escapes.
std::string escaped(const std::string& text) {
    std::string result;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7f) {
            result += char(c);
            continue;
        }
        static const char kHex[] = "0123456789abcdef";
        if (c == '\n') result += "\\n";
        else if (c == '\t') result += "\\t";
        else result += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
    }
    return result;
}

}  // namespace

Console& Console::get() {
    static Console console;
    return console;
}

Console::Console() : terminal_(isatty(STDERR_FILENO)), out_(STDERR_FILENO) {}

Console::~Console() { release(); }

void Console::message(const std::string& line) {
    sync();
    print(line);
}

void Console::print(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    clear();
    write(std::string(kTool) + ": " + escaped(line) + "\n");
    draw();
}

int Console::open(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    clear();
    lines_.push_back({escaped(name), -1, true});
    draw();
    return int(lines_.size()) - 1;
}

void Console::update(int line, int percent) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lines_[std::size_t(line)].percent == percent) return;
    lines_[std::size_t(line)].percent = percent;
    clear();
    draw();
}

void Console::close(int line) {
    std::lock_guard<std::mutex> lock(mutex_);
    clear();
    lines_[std::size_t(line)].shown = false;
    draw();
}

void Console::write(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(out_, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return;  // nowhere left to say it
        done += std::size_t(wrote);
    }
}

void Console::clear() {
    std::string up;
    for (; drawn_ > 0; --drawn_) up += "\033[1A\r\033[K";
    write(up);
}

void Console::draw() {
    if (!terminal_) return;
    std::string text;
    for (const Line& line : lines_) {
        if (!line.shown || line.percent < 0) continue;
        constexpr int width = 30;
        const int filled = line.percent * width / 100;
        char percent[16];
        std::snprintf(percent, sizeof percent, "%3d%%", line.percent);
        text += "[" + std::string(std::size_t(filled), '#') + std::string(std::size_t(width - filled), '.') + "] " +
                percent + "  " + line.name + "\n";
        ++drawn_;
    }
    write(text);
}

void Console::catchLibraryLines() {
    int ends[2];
    const int keptError = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int keptOutput = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (keptError < 0 || keptOutput < 0 || pipe2(ends, O_CLOEXEC) != 0) {
        if (keptError >= 0) ::close(keptError);
        if (keptOutput >= 0) ::close(keptOutput);
        return;  // the libraries then speak for themselves
    }
    out_ = keptError;
    keepStandardOutput(keptOutput);
    // Some print on standard output (libsndfile's SDS reader): into the
    // audio that goes there, but for this.
    std::fflush(stdout);
    dup2(ends[1], STDOUT_FILENO);
    dup2(ends[1], STDERR_FILENO);
    ::close(ends[1]);
    relay_ = std::thread(&Console::relayLibraryLines, this, ends[0]);
}

void Console::release() {
    if (!relay_.joinable()) return;
    std::fflush(stdout);
    std::fflush(stderr);
    // The pipe's last writers go, so the relay reads to its end.
    dup2(standardOutput(), STDOUT_FILENO);
    dup2(out_, STDERR_FILENO);
    relay_.join();
}

void Console::reading(const std::string& name, bool started) {
    if (!started) sync();  // what was printed while it was read is said to be of it
    std::lock_guard<std::mutex> lock(mutex_);
    if (started) {
        reading_.push_back(name);
    } else {
        const auto found = std::find(reading_.begin(), reading_.end(), name);
        if (found != reading_.end()) reading_.erase(found);
    }
}

void Console::sync() {
    if (!relay_.joinable() || std::this_thread::get_id() == relay_.get_id()) return;
    std::unique_lock<std::mutex> lock(syncMutex_);
    const std::uint64_t ticket = ++marksSent_;
    if (::write(STDERR_FILENO, &kSyncMark, 1) != 1) return;
    synced_.wait(lock, [&] { return marksSeen_ >= ticket; });
}

void Console::relayLibraryLines(int from) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] == kSyncMark) {
                std::lock_guard<std::mutex> lock(syncMutex_);
                ++marksSeen_;
                synced_.notify_all();
            } else if (buffer[i] == '\n') {
                relayLine(pending);
                pending.clear();
            } else {
                pending += buffer[i];
            }
        }
    }
    relayLine(pending);
    ::close(from);
}

void Console::relayLine(const std::string& line) {
    if (line.empty()) return;
    std::string subject;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (reading_.size() == 1) subject = reading_.front() + ": ";
    }
    print(subject + line);
}

int fail(const std::string& subject, const std::string& reason) {
    Console::get().message(subject + ": " + reason);
    return 1;
}
