// The renderer's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct RenderOptions {
    std::string module;  // empty: the module installed with the executable
    std::vector<std::string> inputs;
    std::string output;      // one OUTPUT file, or "-"
    std::string directory;   // -o DIR: every input into it
    std::string program;     // a number or a name; empty keeps the module's first
    std::optional<float> level;  // parameter value 0..1
    std::optional<float> delay;  // parameter value 0..1
    std::string levelText;  // as given, for the note in the tags
    int block = 512;
    std::string bits;        // "", "16", "24", "32" or "float"
    std::optional<double> quality;  // 0..10
    std::string type;        // extension of standard output's format
    int jobs = 0;            // 0: the cores
    bool dither = false;
    bool keepPartial = false;
    bool force = false;
    bool list = false;
    bool help = false;
    bool version = false;
    std::string response;  // CSV file to measure into
};

constexpr int kMaxBlock = 1 << 20;
constexpr int kMaxJobs = 64;

// False with a one-line reason in `error` when the command line is wrong.
bool parseOptions(int argc, char** argv, RenderOptions& options, std::string& error);

// The text of --help.
std::string usageText();
