// What the module tells a user: where it is, its programs, its version.
#pragma once

#include <string>
#include <vector>

#include "loader/plugin_host.h"

// Beside the program in dist/, under ../lib/lxvst/ once installed.
std::string defaultModulePath();

// An effect of `module` that the renderer can drive: a sound record, two
// inputs and two outputs, and a replacing entry. Null with the reason in
// `error` otherwise.
EffectRecord* openEffect(const PluginModule& module, std::string& error);

std::vector<std::string> programNames(EffectInstance& effect);
// -1 with a reason when `wanted` names no program.
int findProgram(const std::string& wanted, const std::vector<std::string>& names, std::string& error);

// The --list and --version modes; each gives the exit status.
int listPrograms(EffectInstance& effect);
int printVersion(const PluginModule& module, const std::string& modulePath);
