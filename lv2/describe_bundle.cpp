// Writes the bundle's description files from the effect's descriptor, so
// the description cannot drift from the code. With --controls it prints
// each program's control values instead.
//   lv2-describe BUNDLE_FOLDER BINARY_NAME
//   lv2-describe --controls
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "adapter/port_instance.h"
#include "crossfeed/descriptor.h"

using namespace crossfeed_ports;

namespace {

const std::string kUri = crossfeed::kLv2Uri;
const std::string kPresetPrefix = kUri + ":preset:";
const std::string kInputGroup = kUri + ":group:in";
const std::string kOutputGroup = kUri + ":group:out";
// The delay's unit: a number of samples, counted in milliseconds at 44.1 kHz.
const std::string kDelayUnit = kUri + ":unit:ms-at-44.1khz";

struct Program {
    std::string name;
    std::string level;
    std::string delay;
};

// The shortest decimal text whose float, read by any host, sets exactly
// `value` as a control. It stays within the port's range as a float, which
// is what hosts check.
std::string controlText(crossfeed::Parameter parameter, float value) {
    const double maximum = crossfeed::kParameters[parameter].maximum;
    const float largest = static_cast<float>(maximum);
    const double approximate = crossfeed::plainFromParameter(parameter, value);
    for (int decimals = 1; decimals <= 9; ++decimals) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*f", decimals, approximate);
        const float asFloat = std::strtof(text, nullptr);
        const float viaDouble = static_cast<float>(std::strtod(text, nullptr));
        if (asFloat <= largest && viaDouble <= largest && crossfeed::parameterFromControl(parameter, asFloat) == value &&
            crossfeed::parameterFromControl(parameter, viaDouble) == value)
            return text;
    }
    std::fprintf(stderr, "lv2-describe: no control value gives the parameter %.9g\n", value);
    std::exit(1);
}

std::vector<Program> programs() {
    std::vector<Program> all;
    for (const crossfeed::Preset& preset : crossfeed::kPresets)
        all.push_back({preset.name, controlText(crossfeed::kLevelParameter, preset.level),
                       controlText(crossfeed::kDelayParameter, preset.delay)});
    return all;
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

std::string node(const std::string& uri) { return "<" + uri + ">"; }

const char kPrefixes[] =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

std::string manifest(const std::vector<Program>& all, const std::string& binary) {
    std::ostringstream out;
    out << kPrefixes;
    out << node(kUri) << "\n    a lv2:Plugin ;\n    lv2:binary <" << binary << "> ;\n    rdfs:seeAlso <crossfeed.ttl> .\n";
    for (const Program& program : all)
        out << "\n" << node(kPresetPrefix + slugOf(program.name)) << "\n    a pset:Preset ;\n    lv2:appliesTo "
            << node(kUri) << "\n    ; rdfs:seeAlso <presets.ttl> .\n";
    return out.str();
}

// The stereo pair in and out, as one stream each.
std::string groups() {
    std::ostringstream out;
    out << node(kInputGroup) << "\n    a pg:StereoGroup , pg:InputGroup ;\n    lv2:symbol \"in\" ;\n"
        << "    rdfs:label \"Input\" .\n\n"
        << node(kOutputGroup) << "\n    a pg:StereoGroup , pg:OutputGroup ;\n    lv2:symbol \"out\" ;\n"
        << "    rdfs:label \"Output\" ;\n    pg:source " << node(kInputGroup) << " .\n\n";
    return out.str();
}

std::string delayUnit() {
    const std::string& unit = crossfeed::kParameters[crossfeed::kDelayParameter].unit;
    std::ostringstream out;
    out << node(kDelayUnit) << "\n    a units:Unit ;\n    rdfs:label \"milliseconds at 44.1 kHz\" ;\n"
        << "    units:symbol \"ms@44.1kHz\" ;\n    units:render \"%f " << unit << "\" ;\n"
        << "    units:conversion [\n        units:to units:frame ;\n        units:factor "
        << crossfeed::kDisplayRateKilohertz << "\n    ] .\n\n";
    return out.str();
}

void writeAudioPort(std::ostringstream& out, std::uint32_t index) {
    const PortInfo& port = kPorts[index];
    const bool input = port.kind == PortKind::kAudioInput;
    const bool left = index == kInLeft || index == kOutLeft;
    out << "        a lv2:AudioPort , lv2:" << (input ? "InputPort" : "OutputPort") << " ;\n        lv2:index "
        << index << " ;\n        lv2:symbol \"" << port.symbol << "\" ;\n        lv2:name \"" << port.name
        << "\" ;\n        pg:group " << node(input ? kInputGroup : kOutputGroup) << " ;\n        lv2:designation pg:"
        << (left ? "left" : "right");
}

void writeControlPort(std::ostringstream& out, std::uint32_t index) {
    const PortInfo& port = kPorts[index];
    const crossfeed::Parameter parameter = parameterOf(Port(index));
    out << "        a lv2:ControlPort , lv2:InputPort ;\n        lv2:index " << index << " ;\n        lv2:symbol \""
        << port.symbol << "\" ;\n        lv2:name \"" << port.name << "\" ;\n        rdfs:comment "
        << quoted(crossfeed::kParameters[parameter].description) << " ;\n        lv2:default "
        << controlText(parameter, crossfeed::defaultValue(parameter)) << " ;\n        lv2:minimum 0 ;\n"
        << "        lv2:maximum " << controlText(parameter, 1.0f) << " ;\n        units:unit "
        << (parameter == crossfeed::kLevelParameter ? "units:pc" : node(kDelayUnit));
}

std::string pluginDescription() {
    constexpr crossfeed::Version version = crossfeed::kVersion;
    std::ostringstream out;
    out << kPrefixes << groups() << delayUnit();
    out << node(kUri) << "\n    a lv2:Plugin , lv2:" << crossfeed::kLv2Class << " , doap:Project ;\n    doap:name "
        << quoted(crossfeed::kEffectName) << " ;\n    doap:license <" << crossfeed::kLicenceUri
        << "> ;\n    doap:maintainer [ foaf:name " << quoted(crossfeed::kVendorName) << " ] ;\n"
        << "    # LV2 versions are minor.micro, both even for a release: M.m.p is minor 2(10M + m), micro 2p.\n"
        << "    doap:release [ doap:revision " << quoted(crossfeed::versionText(version).text) << " ] ;\n"
        << "    lv2:minorVersion " << crossfeed::lv2MinorVersionOf(version) << " ;\n    lv2:microVersion "
        << crossfeed::lv2MicroVersionOf(version) << " ;\n    rdfs:comment " << quoted(crossfeed::kDescription)
        << " ;\n    lv2:optionalFeature lv2:hardRTCapable ;\n    pg:mainInput " << node(kInputGroup)
        << " ;\n    pg:mainOutput " << node(kOutputGroup) << " ;\n    lv2:port [\n";
    for (std::uint32_t index = 0; index < kPortCount; ++index) {
        if (kPorts[index].kind == PortKind::kControlInput)
            writeControlPort(out, index);
        else
            writeAudioPort(out, index);
        out << (index + 1 < kPortCount ? "\n    ] , [\n" : "\n    ] .\n");
    }
    return out.str();
}

std::string presets(const std::vector<Program>& all) {
    std::ostringstream out;
    out << kPrefixes;
    for (const Program& program : all)
        out << node(kPresetPrefix + slugOf(program.name)) << "\n    a pset:Preset ;\n    lv2:appliesTo " << node(kUri)
            << "\n    ; rdfs:label " << quoted(program.name) << " ;\n    lv2:port [\n        lv2:symbol \""
            << kPorts[kLevel].symbol << "\" ;\n        pset:value " << program.level
            << "\n    ] , [\n        lv2:symbol \"" << kPorts[kDelay].symbol << "\" ;\n        pset:value "
            << program.delay << "\n    ] .\n\n";
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
    const std::vector<Program> all = programs();
    if (argc == 2 && std::strcmp(argv[1], "--controls") == 0) {
        for (const Program& program : all)
            std::printf("%s\t%s\t%s\n", program.name.c_str(), program.level.c_str(), program.delay.c_str());
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: lv2-describe BUNDLE_FOLDER BINARY_NAME | --controls\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool written = writeFile(folder + "/manifest.ttl", manifest(all, argv[2])) &&
                         writeFile(folder + "/crossfeed.ttl", pluginDescription()) &&
                         writeFile(folder + "/presets.ttl", presets(all));
    return written ? 0 : 1;
}
