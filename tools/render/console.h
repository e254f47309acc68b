// Standard error: one-line messages, and progress lines on a terminal.
#pragma once

#include <mutex>
#include <string>
#include <vector>

constexpr char kTool[] = "crossfeed-render";

// Every line on standard error goes through here, so that progress lines
// on a terminal are redrawn below it rather than mixed into it.
class Console {
public:
    static Console& get();
    void message(const std::string& line);
    bool terminal() const { return terminal_; }
    // A progress line for `name`; the number is its handle.
    int open(const std::string& name);
    void update(int line, int percent);
    void close(int line);

private:
    struct Line {
        std::string name;
        int percent;
        bool shown;
    };
    Console();
    void clear();
    void draw();
    std::mutex mutex_;
    bool terminal_;
    std::vector<Line> lines_;
    int drawn_ = 0;
};

// Prints "subject: reason" and gives the exit status of a failure.
int fail(const std::string& subject, const std::string& reason);
