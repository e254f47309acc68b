// Standard error: one-line messages, and progress lines on a terminal.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

constexpr char kTool[] = "crossfeed-render";

// Every line on standard error goes through here, so that progress lines
// on a terminal are redrawn below it rather than mixed into it, and each
// line is one line whatever the names in it hold.
class Console {
public:
    static Console& get();
    void message(const std::string& line);
    bool terminal() const { return terminal_; }
    // A progress line for `name`; the number is its handle.
    int open(const std::string& name);
    void update(int line, int percent);
    void close(int line);

    // What the libraries print comes here too, each line with the tool's
    // name and the file being read when only one is, and before any line of
    // ours that follows it; until `release`, which passes on what is still
    // on its way.
    void catchLibraryLines();
    void release();
    void reading(const std::string& name, bool started);

private:
    struct Line {
        std::string name;
        int percent;
        bool shown;
    };
    Console();
    ~Console();
    void write(const std::string& text);
    void clear();
    void draw();
    void print(const std::string& line);
    // Waits until the relay has passed on everything printed before.
    void sync();
    void relayLibraryLines(int from);
    void relayLine(const std::string& line);
    std::mutex mutex_;
    bool terminal_;
    int out_;  // our standard error, kept when the libraries' is caught
    std::vector<Line> lines_;
    int drawn_ = 0;
    std::vector<std::string> reading_;
    std::thread relay_;
    std::mutex syncMutex_;
    std::condition_variable synced_;
    std::uint64_t marksSent_ = 0, marksSeen_ = 0;
};

// Prints "subject: reason" and gives the exit status of a failure.
int fail(const std::string& subject, const std::string& reason);
