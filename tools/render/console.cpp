#include "render/console.h"

#include <unistd.h>

#include <cstdio>

Console& Console::get() {
    static Console console;
    return console;
}

Console::Console() : terminal_(isatty(STDERR_FILENO)) {}

void Console::message(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    clear();
    std::fprintf(stderr, "%s: %s\n", kTool, line.c_str());
    draw();
}

int Console::open(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    clear();
    lines_.push_back({name, -1, true});
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

void Console::clear() {
    for (; drawn_ > 0; --drawn_) std::fputs("\033[1A\r\033[K", stderr);
}

void Console::draw() {
    if (!terminal_) return;
    for (const Line& line : lines_) {
        if (!line.shown || line.percent < 0) continue;
        constexpr int width = 30;
        const int filled = line.percent * width / 100;
        std::fprintf(stderr, "[%s%s] %3d%%  %s\n", std::string(std::size_t(filled), '#').c_str(),
                     std::string(std::size_t(width - filled), '.').c_str(), line.percent, line.name.c_str());
        ++drawn_;
    }
    std::fflush(stderr);
}

int fail(const std::string& subject, const std::string& reason) {
    Console::get().message(subject + ": " + reason);
    return 1;
}
