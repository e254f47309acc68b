// Writes the bundle's description files by asking the effect itself for its
// name, programs and parameter ranges, so the description cannot drift from
// the code. With --controls it prints each program's control values instead.
//   lv2-describe BUNDLE_FOLDER BINARY_NAME
//   lv2-describe --controls
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "adapter/crossfeed_ports.h"
#include "crossfeed/parameter_units.h"
#include "lv2/crossfeed_uri.h"

using namespace crossfeed_ports;

namespace {

struct Program {
    std::string name;
    std::string level;
    std::string delay;
};

// The shortest decimal text whose float, read by any host, sets exactly
// `parameter` through the shared conversion.
// It stays within the port's range as a float, which is what hosts check.
std::string controlText(double approximate, float parameter, float (*convert)(float), double maximum) {
    const float largest = static_cast<float>(maximum);
    for (int decimals = 1; decimals <= 9; ++decimals) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*f", decimals, approximate);
        const float asFloat = std::strtof(text, nullptr);
        const float viaDouble = static_cast<float>(std::strtod(text, nullptr));
        if (asFloat <= largest && viaDouble <= largest && convert(asFloat) == parameter &&
            convert(viaDouble) == parameter)
            return text;
    }
    std::fprintf(stderr, "lv2-describe: no control value gives the parameter %.9g\n", parameter);
    std::exit(1);
}

std::string levelText(float parameter) {
    return controlText(parameter * 100.0, parameter, levelParameter, levelMaximum());
}

std::string delayText(float parameter) {
    const double milliseconds = parameter * crossfeed_units::kRingSamples / crossfeed_units::kDisplayRateKilohertz;
    return controlText(milliseconds, parameter, delayParameter, delayMaximum());
}


std::vector<Program> programsOf(CrossfeedEffect& effect) {
    std::vector<Program> programs;
    for (std::int32_t index = 0; index < CrossfeedEffect::kProgramCount; ++index) {
        char name[kProgramNameBytes] = {};
        effect.getProgramNameIndexed(index, name);
        effect.setProgram(index);
        programs.push_back({name, levelText(effect.getParameter(CrossfeedEffect::kCrossLevel)),
                            delayText(effect.getParameter(CrossfeedEffect::kDelayAmount))});
    }
    effect.setProgram(0);
    return programs;
}

std::string slugOf(const std::string& name) {
    std::string slug;
    for (char c : name) slug += std::isalnum(static_cast<unsigned char>(c)) ? std::tolower(c) : '-';
    return slug;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

const char kPrefixes[] =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

std::string manifest(const std::vector<Program>& programs, const std::string& binary) {
    std::ostringstream out;
    out << kPrefixes;
    out << "<" CROSSFEED_LV2_URI ">\n    a lv2:Plugin ;\n    lv2:binary <" << binary
        << "> ;\n    rdfs:seeAlso <crossfeed.ttl> .\n";
    for (const Program& program : programs)
        out << "\n<" CROSSFEED_LV2_PRESET_PREFIX << slugOf(program.name)
            << ">\n    a pset:Preset ;\n    lv2:appliesTo <" CROSSFEED_LV2_URI ">\n    ; rdfs:seeAlso <presets.ttl> .\n";
    return out.str();
}

void writePort(std::ostringstream& out, std::uint32_t index, const Program& first) {
    const PortInfo& port = kPorts[index];
    out << "        a lv2:";
    switch (port.kind) {
    case PortKind::kAudioInput: out << "AudioPort , lv2:InputPort"; break;
    case PortKind::kAudioOutput: out << "AudioPort , lv2:OutputPort"; break;
    case PortKind::kControlInput: out << "ControlPort , lv2:InputPort"; break;
    }
    out << " ;\n        lv2:index " << index << " ;\n        lv2:symbol \"" << port.symbol
        << "\" ;\n        lv2:name \"" << port.name << "\"";
    if (index == kLevel)
        out << " ;\n        rdfs:comment \"How much of each channel reaches the other ear: 0 % keeps the channels "
               "apart, 100 % gives both ears the same mix.\" ;\n        lv2:default "
            << first.level << " ;\n        lv2:minimum 0 ;\n        lv2:maximum " << levelText(1.0f)
            << " ;\n        units:unit units:pc";
    if (index == kDelay)
        out << " ;\n        rdfs:comment \"How much later the other ear hears each channel. The delay is a number "
               "of samples (0 to 511), shown as milliseconds at 44.1 kHz: at other sample rates the real delay "
               "scales by 44100 / rate.\" ;\n        lv2:default "
            << first.delay << " ;\n        lv2:minimum 0 ;\n        lv2:maximum " << delayText(1.0f)
            << " ;\n        units:unit units:ms";
}

std::string pluginDescription(CrossfeedEffect& effect, const std::vector<Program>& programs) {
    char name[kIdentityTextBytes] = {};
    char vendor[kIdentityTextBytes] = {};
    effect.getEffectName(name);
    effect.getVendorString(vendor);
    const std::int32_t version = effect.getVendorVersion();
    std::ostringstream out;
    out << kPrefixes;
    out << "<" CROSSFEED_LV2_URI ">\n    a lv2:Plugin , lv2:SpatialPlugin , doap:Project ;\n    doap:name " << quoted(name)
        << " ;\n    doap:license <https://opensource.org/licenses/MIT> ;\n    doap:maintainer [ foaf:name "
        << quoted(vendor) << " ] ;\n    lv2:minorVersion " << version / 100 % 10 << " ;\n    lv2:microVersion "
        << version % 100
        << " ;\n    rdfs:comment \"A stereo crossfeed for headphone listening: each output is its own input, "
           "slightly attenuated, plus the other channel's input delayed and scaled by the level.\" ;\n"
           "    lv2:optionalFeature lv2:hardRTCapable ;\n    lv2:port [\n";
    for (std::uint32_t index = 0; index < kPortCount; ++index) {
        writePort(out, index, programs.front());
        out << (index + 1 < kPortCount ? "\n    ] , [\n" : "\n    ] .\n");
    }
    return out.str();
}

std::string presets(const std::vector<Program>& programs) {
    std::ostringstream out;
    out << kPrefixes;
    for (const Program& program : programs)
        out << "<" CROSSFEED_LV2_PRESET_PREFIX << slugOf(program.name)
            << ">\n    a pset:Preset ;\n    lv2:appliesTo <" CROSSFEED_LV2_URI ">\n    ; rdfs:label "
            << quoted(program.name) << " ;\n    lv2:port [\n        lv2:symbol \"level\" ;\n        pset:value "
            << program.level << "\n    ] , [\n        lv2:symbol \"delay\" ;\n        pset:value " << program.delay
            << "\n    ] .\n\n";
    return out.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file) return true;
    std::fprintf(stderr, "lv2-describe: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    CrossfeedEffect effect(nullptr);
    if (!effect.ready()) return 1;
    const std::vector<Program> programs = programsOf(effect);
    if (argc == 2 && std::strcmp(argv[1], "--controls") == 0) {
        for (const Program& program : programs)
            std::printf("%s\t%s\t%s\n", program.name.c_str(), program.level.c_str(), program.delay.c_str());
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: lv2-describe BUNDLE_FOLDER BINARY_NAME | --controls\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool written = writeFile(folder + "/manifest.ttl", manifest(programs, argv[2])) &&
                         writeFile(folder + "/crossfeed.ttl", pluginDescription(effect, programs)) &&
                         writeFile(folder + "/presets.ttl", presets(programs));
    return written ? 0 : 1;
}
