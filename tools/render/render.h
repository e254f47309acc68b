// Rendering one input into one output, and many into a folder.
#pragma once

#include <string>

#include "loader/plugin_host.h"
#include "render/options.h"

// What every file of a run gets, decided once.
struct Settings {
    int program = -1;
    std::string programName;
    std::string levelChange;     // ", level 40 %" when --level is given
    std::int32_t delaySamples = -1;  // -1: not the crossfeed module
    std::string delayShown;      // the module's text for it: "2.089796"
    // What the output's encoder tag says was done to a file at `rate` Hz.
    std::string note(int rate) const;
};

// Renders one file; prints its own failure line. `outputPath` may be "-".
// `rate`, when given, gets the file's sample rate once it is rendered.
int renderFile(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
               const Settings& settings, const std::string& inputPath, const std::string& outputPath,
               int* rate = nullptr);

// Renders every input of `options` into its folder, then a summary line.
int renderFolder(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
                 const Settings& settings);
