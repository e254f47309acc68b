#include "render/options.h"

#include "crossfeed/parameter_units.h"

#include <getopt.h>

#include <cmath>
#include <cstdlib>

namespace {

// Plain decimal only: no sign, exponent, hexadecimal, "inf" or "nan".
bool parseNumber(const std::string& text, double& value) {
    bool digits = false, point = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits || text.size() > 40) return false;
    value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value);
}

bool parseWhole(const std::string& text, long& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return true;
}

enum Key : int {
    kHelp = 'h',
    kForce = 'f',
    kDirectory = 'o',
    kJobs = 'j',
    kVersion = 256,
    kList,
    kModule,
    kResponse,
    kProgram,
    kLevel,
    kDelay,
    kBlock,
    kBits,
    kQuality,
    kType,
    kDither,
    kKeepPartial,
};

const option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelp},          {"version", no_argument, nullptr, kVersion},
    {"force", no_argument, nullptr, kForce},        {"list", no_argument, nullptr, kList},
    {"module", required_argument, nullptr, kModule}, {"response", required_argument, nullptr, kResponse},
    {"program", required_argument, nullptr, kProgram}, {"level", required_argument, nullptr, kLevel},
    {"delay", required_argument, nullptr, kDelay},  {"block", required_argument, nullptr, kBlock},
    {"bits", required_argument, nullptr, kBits},    {"quality", required_argument, nullptr, kQuality},
    {"type", required_argument, nullptr, kType},    {"output-dir", required_argument, nullptr, kDirectory},
    {"jobs", required_argument, nullptr, kJobs},    {"dither", no_argument, nullptr, kDither},
    {"keep-partial", no_argument, nullptr, kKeepPartial}, {nullptr, 0, nullptr, 0},
};
constexpr char kShortOptions[] = ":hfo:j:";

// What the command line said, before the mode's rules are applied.
struct Given {
    std::vector<std::string> positional;
    std::vector<std::string> renderOnly;  // options only a render uses, as given
    bool force = false;
};

// The long name, as messages give it whichever form was typed.
std::string nameOf(int key) {
    for (const option& entry : kLongOptions)
        if (entry.name && entry.val == key) return std::string("--") + entry.name;
    return {};
}

bool needText(const std::string& typed, const std::string& value, const char* what, std::string& error) {
    if (!value.empty()) return true;
    error = typed + " needs " + what;
    return false;
}

// Options with numbers in them; false with the reason in `error`.
bool applyNumber(int key, const std::string& typed, const std::string& value, RenderOptions& options,
                 std::string& error) {
    double number = 0.0;
    long whole = 0;
    switch (key) {
    case kLevel:
        if (!parseNumber(value, number) || !crossfeed_units::levelPercentInRange(number)) {
            error = "--level '" + value + "' is not a percentage from 0 to 100";
            return false;
        }
        options.level = crossfeed_units::levelFromPercent(number);
        options.levelText = value;
        return true;
    case kDelay:
        if (!parseNumber(value, number) || !crossfeed_units::delayMillisecondsInRange(number)) {
            error = "--delay '" + value + "' is not a delay from 0 to 11.60997 ms";
            return false;
        }
        options.delay = crossfeed_units::delayFromMilliseconds(number);
        options.delayText = value;
        return true;
    case kBlock:
        if (!parseWhole(value, whole) || whole < 1 || whole > kMaxBlock) {
            error = "--block '" + value + "' is not a frame count from 1 to 1048576";
            return false;
        }
        options.block = static_cast<int>(whole);
        return true;
    case kQuality:
        if (!parseNumber(value, number) || number > 10.0) {
            error = "--quality '" + value + "' is not a number from 0 to 10";
            return false;
        }
        options.quality = number;
        return true;
    default:  // kJobs
        if (!parseWhole(value, whole) || whole < 1 || whole > kMaxJobs) {
            error = typed + " '" + value + "' is not a count from 1 to 64";
            return false;
        }
        options.jobs = static_cast<int>(whole);
        return true;
    }
}

bool applyOption(int key, const std::string& typed, const std::string& value, RenderOptions& options, Given& given,
                 std::string& error) {
    switch (key) {
    case kHelp: options.help = true; return true;
    case kVersion: options.version = true; return true;
    case kForce: options.force = given.force = true; return true;
    case kList: options.list = true; return true;
    case kModule: options.module = value; return needText(typed, value, "a path", error);
    case kResponse: options.response = value; return needText(typed, value, "a file name", error);
    case kDirectory: options.directory = value; return needText(typed, value, "a directory", error);
    default: break;
    }
    given.renderOnly.push_back(nameOf(key));
    switch (key) {
    case kProgram: options.program = value; return needText(typed, value, "a number or a name", error);
    case kBits:
        if (value != "16" && value != "24" && value != "32" && value != "float") {
            error = "--bits '" + value + "' is not 16, 24, 32 or float";
            return false;
        }
        options.bits = value;
        return true;
    case kType:
        options.type = !value.empty() && value[0] == '.' ? value.substr(1) : value;
        return needText(typed, value, "an extension", error);
    case kDither: options.dither = true; return true;
    case kKeepPartial: options.keepPartial = true; return true;
    default: return applyNumber(key, typed, value, options, error);
    }
}

// The word on the command line that getopt_long has just read.
std::string wordRead(char** argv, int index, bool separateValue) {
    const std::string word = argv[optind - (separateValue ? 2 : 1)];
    return index >= 0 ? word.substr(0, word.find('=')) : word;
}

std::string refusal(int key, char** argv) {
    const std::string word = wordRead(argv, -1, false);
    if (key == ':') return word + " needs a value";
    if (optopt != 0 && word.rfind("--", 0) == 0) return word.substr(0, word.find('=')) + " takes no value";
    if (optopt != 0) return "unknown option '-" + std::string(1, char(optopt)) + "' (see --help)";
    return "unknown option '" + word.substr(0, word.find('=')) + "' (see --help)";
}

// Reads every option and positional word; false on the first mistake.
bool readArguments(int argc, char** argv, RenderOptions& options, Given& given, std::string& error) {
    opterr = 0;  // our own messages
    optind = 0;  // a fresh scan, also for a second call
    for (;;) {
        int index = -1;
        const int key = getopt_long(argc, argv, kShortOptions, kLongOptions, &index);
        if (key == -1) break;
        if (key == '?' || key == ':') {
            error = refusal(key, argv);
            return false;
        }
        const std::string typed = wordRead(argv, index, optarg && optarg == argv[optind - 1]);
        // Whole names only: an abbreviation could come to mean another option.
        if (index >= 0 && typed != std::string("--") + kLongOptions[index].name) {
            error = "unknown option '" + typed + "' (see --help)";
            return false;
        }
        if (!applyOption(key, typed, optarg ? optarg : "", options, given, error)) return false;
    }
    for (int i = optind; i < argc; ++i) given.positional.push_back(argv[i]);
    return true;
}

// --version, --list and --response take nothing a render uses.
bool checkQueryMode(const char* mode, const RenderOptions& options, const Given& given, std::string& error) {
    if (!given.renderOnly.empty()) error = given.renderOnly.front() + " is not used with " + mode;
    else if (!options.directory.empty()) error = std::string("-o is not used with ") + mode;
    else if (given.force && options.response.empty()) error = std::string("--force is not used with ") + mode;
    else if (!given.positional.empty()) error = std::string(mode) + " takes no INPUT or OUTPUT";
    return error.empty();
}

bool checkRenderMode(RenderOptions& options, const Given& given, std::string& error) {
    const auto& positional = given.positional;
    if (!options.directory.empty()) {
        if (positional.empty()) error = "-o DIR needs at least one INPUT";
        for (const auto& input : positional)
            if (input == "-") error = "-o DIR cannot read standard input";
        options.inputs = positional;
        return error.empty();
    }
    if (positional.size() != 2) error = "needs INPUT and OUTPUT (see --help)";
    else if (options.jobs) error = "--jobs is used only with -o DIR";
    else if (!options.type.empty() && positional[1] != "-")
        error = "--type is used only with - as OUTPUT or with -o DIR; OUTPUT's extension names its format";
    if (!error.empty()) return false;
    options.inputs = {positional[0]};
    options.output = positional[1];
    return true;
}

}  // namespace

bool parseOptions(int argc, char** argv, RenderOptions& options, std::string& error) {
    Given given;
    if (!readArguments(argc, argv, options, given, error)) return false;
    if (options.help) return true;
    // Exactly one mode; an option the mode does not use is a mistake.
    const int modes = int(options.version) + int(options.list) + int(!options.response.empty());
    if (modes > 1) {
        error = "--version, --list and --response cannot be combined";
        return false;
    }
    if (modes == 1) {
        const char* mode = options.version ? "--version" : options.list ? "--list" : "--response";
        return checkQueryMode(mode, options, given, error);
    }
    return checkRenderMode(options, given, error);
}
