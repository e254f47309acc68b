#include "render/module_info.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "render/console.h"
#include "render/paths.h"
#include "render/sink.h"

#ifndef CROSSFEED_VERSION
#define CROSSFEED_VERSION "unknown"
#endif

namespace {

std::string selfDirectory() {
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) return "./";
    self.resize(static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1);
}

std::string effectText(EffectInstance& effect, std::int32_t opcode) {
    char buffer[256] = {};  // far more than the 32 bytes these texts may take
    effect.dispatch(opcode, 0, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::string counted(int count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

}  // namespace

std::string defaultModulePath() {
    const std::string directory = selfDirectory();
    const std::string beside = directory + "crossfeed.so";
    if (access(beside.c_str(), F_OK) == 0) return beside;
    // Installed, the module sits where Linux VST hosts look for it too.
    const std::string installed = directory + "../lib/lxvst/crossfeed.so";
    if (access(installed.c_str(), F_OK) == 0) return installed;
    return beside;
}

EffectRecord* openEffect(const PluginModule& module, std::string& error) {
    EffectInstance effect(module.instantiateChecked(error));
    if (!effect) return nullptr;
    const EffectRecord& record = *effect.record();
    if (!(record.flags & kFlagReplacing))
        error = "the effect has no replacing entry, which this renderer calls";
    else if (record.inputCount != 2 || record.outputCount != 2)
        error = "the effect has " + counted(record.inputCount, "input") + " and " +
                counted(record.outputCount, "output") + "; only a stereo effect (2 and 2) can be rendered";
    if (!error.empty()) return nullptr;
    EffectRecord* kept = effect.record();
    effect.release();
    return kept;
}

std::vector<std::string> programNames(EffectInstance& effect) {
    std::vector<std::string> names;
    const int count = effect.record()->programCount;
    for (int program = 0; program < count; ++program) {
        effect.setProgram(program);
        names.push_back(effect.programName());
    }
    return names;
}

int findProgram(const std::string& wanted, const std::vector<std::string>& names, std::string& error) {
    const int count = static_cast<int>(names.size());
    if (std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const long number = wanted.size() > 9 ? count : std::stol(wanted);
        if (number < count) return static_cast<int>(number);
        error = "there is no program " + wanted + " (the module has " + std::to_string(count) + ", from 0)";
        return -1;
    }
    for (int i = 0; i < count; ++i)
        if (names[static_cast<std::size_t>(i)] == wanted) return i;
    int found = -1;
    for (int i = 0; i < count; ++i) {
        if (lowered(names[static_cast<std::size_t>(i)]) != lowered(wanted)) continue;
        if (found >= 0) {
            error = "'" + wanted + "' matches more than one program";
            return -1;
        }
        found = i;
    }
    if (found < 0) error = "no program is called '" + wanted + "' (see --list)";
    return found;
}

int listPrograms(EffectInstance& effect) {
    const auto names = programNames(effect);
    const int parameters = effect.record()->parameterCount;
    std::string text;
    char line[512];
    for (std::size_t program = 0; program < names.size(); ++program) {
        effect.setProgram(static_cast<std::int32_t>(program));
        std::snprintf(line, sizeof line, "%zu: %s\n", program, names[program].c_str());
        text += line;
        for (int parameter = 0; parameter < parameters; ++parameter) {
            std::snprintf(line, sizeof line, "    %-12s %-9s %s\n", effect.parameterName(parameter).c_str(),
                          effect.parameterDisplay(parameter).c_str(), effect.parameterLabel(parameter).c_str());
            text += line;
        }
    }
    return writeAll(standardOutput(), text.data(), text.size()) ? 0 : 1;
}

int printVersion(const PluginModule& module, const std::string& modulePath) {
    std::string error;
    EffectInstance effect(module.instantiateChecked(error));
    if (!effect) return fail(modulePath, error);
    const HostInt version = effect.dispatch(kEffectGetVendorVersion);
    std::string product = effectText(effect, kEffectGetProductString);
    if (product.empty()) product = effectText(effect, kEffectGetEffectName);
    const std::string vendor = effectText(effect, kEffectGetVendorString);
    std::string numbered = "unknown";
    // Hosts read 1000 as 1.0.0.
    if (version > 0 && version < 10000)
        numbered = std::to_string(version / 1000) + "." + std::to_string(version / 100 % 10) + "." +
                   std::to_string(version / 10 % 10) + " (" + std::to_string(version) + ")";
    else if (version != 0)
        numbered = std::to_string(version);
    const std::string text = std::string(kTool) + " " + CROSSFEED_VERSION + "\nmodule " + modulePath + ": " +
                             (product.empty() ? "unnamed" : product) + (vendor.empty() ? "" : " by ") + vendor +
                             ", version " + numbered + "\n";
    return writeAll(standardOutput(), text.data(), text.size()) ? 0 : 1;
}
