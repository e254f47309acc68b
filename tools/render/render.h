// Rendering one input into one output, and many into a folder.
#pragma once

#include <string>

#include "loader/plugin_host.h"
#include "render/options.h"

// What every file of a run gets, decided once.
struct Settings {
    int program = -1;
    std::string note;  // what the output's tags say was done
};

// Renders one file; prints its own failure line. `outputPath` may be "-".
int renderFile(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
               const Settings& settings, const std::string& inputPath, const std::string& outputPath);

// Renders every input of `options` into its folder, then a summary line.
int renderFolder(const RenderOptions& options, const PluginModule& module, const std::string& modulePath,
                 const Settings& settings);
