// The renderer's command line.
#pragma once

#include <optional>
#include <string>

struct RenderOptions {
    std::string module;  // empty: the module beside the executable
    std::string input;
    std::string output;
    std::string program;  // a number or a name; empty keeps the module's first
    std::optional<float> level;  // parameter value 0..1
    std::optional<float> delay;  // parameter value 0..1
    int block = 512;
    bool force = false;
    bool list = false;
    bool help = false;
    std::string response;  // CSV file to measure into
};

constexpr int kMaxBlock = 1 << 20;

// False with a one-line reason in `error` when the command line is wrong.
bool parseOptions(int argc, char** argv, RenderOptions& options, std::string& error);

extern const char kUsage[];
