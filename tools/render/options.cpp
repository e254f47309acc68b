#include "render/options.h"

#include "crossfeed/parameter_units.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

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

}  // namespace

const char kUsage[] =
    "Usage: crossfeed-render [options] INPUT OUTPUT\n"
    "       crossfeed-render [options] -o DIR INPUT...\n"
    "       crossfeed-render [--module PATH] --list\n"
    "       crossfeed-render [--module PATH] [--force] --response FILE.csv\n"
    "       crossfeed-render [--module PATH] --version\n"
    "\n"
    "Renders audio files through the crossfeed module, loaded through its\n"
    "exported `main` as a plug-in host loads it.\n"
    "\n"
    "INPUT is any file libsndfile reads (WAV, FLAC, AIFF, Ogg, MP3...), or - for\n"
    "standard input. Mono input is fed to both channels and written as stereo;\n"
    "three or more channels are refused.\n"
    "OUTPUT's extension names its format (.wav .flac .aiff .ogg .opus .mp3 .caf\n"
    ".w64 .rf64 .au ...); an extension libsndfile cannot write is refused. Without\n"
    "an extension, or for - (standard output), the input's format is kept unless\n"
    "--type names another. The input's encoding is kept where the format holds it;\n"
    "otherwise float input gives 24-bit and other input (MP3, Vorbis, ADPCM...)\n"
    "16-bit. Integer output is rounded to nearest and clipped at full scale; the\n"
    "number of clipped samples is reported. Tags and pictures are copied where both\n"
    "formats hold them, with a note of the program and settings used.\n"
    "OUTPUT is written beside itself under a temporary name (.NAME.part-*) and\n"
    "renamed into place once complete; it must differ from INPUT, and an existing\n"
    "OUTPUT must be a regular file.\n"
    "\n"
    "Options:\n"
    "  --program N|NAME  program number (0-based) or name as --list shows it\n"
    "                    (default: the module's first program)\n"
    "  --level PERCENT   crossfeed level, 0 to 100, on top of the program\n"
    "  --delay MS        cross delay, 0 to 11.60997 milliseconds at 44.1 kHz: the\n"
    "                    module's delay is a count of samples, so at other sample\n"
    "                    rates the real delay scales with 44100 / rate\n"
    "  --bits 16|24|32|float  sample format of uncompressed or FLAC output\n"
    "  --dither          triangular dither before rounding to 16 bits or fewer\n"
    "  --quality Q       lossy output (MP3, Vorbis, Opus): 0 (smallest) to 10\n"
    "                    (best); default libsndfile's\n"
    "  --type EXT        format of standard output, or of the files -o writes\n"
    "  -o DIR            render every INPUT into DIR under its own name (with\n"
    "                    --type's extension if given); DIR is created if missing\n"
    "  --jobs N          files rendered at once with -o (default: the cores)\n"
    "  --block N         frames per processing call, 1 to 1048576 (default 512)\n"
    "  --force           replace an existing OUTPUT\n"
    "  --keep-partial    keep what was rendered of an input that ends early\n"
    "  --module PATH     module to load (default: crossfeed.so beside this program,\n"
    "                    else ../lib/lxvst/crossfeed.so)\n"
    "  --list            print the programs with their parameters' names, values\n"
    "                    and labels as the module reports them, then exit\n"
    "  --response FILE   measure each program at 44.1 kHz and write a CSV (- for\n"
    "                    standard output): the magnitude in dB of a centred mono\n"
    "                    source from 20 Hz to 20 kHz, then the direct and cross\n"
    "                    impulse responses\n"
    "  --version         print this tool's and the module's versions\n"
    "  --help            print this text\n"
    "\n"
    "On a terminal, a progress line is shown for each file being rendered.\n"
    "Exit status: 0 when everything was rendered, 1 when anything failed (one\n"
    "line each on standard error), 130 when interrupted.\n";

bool parseOptions(int argc, char** argv, RenderOptions& options, std::string& error) {
    std::vector<std::string> positional;
    std::vector<std::string> renderOnly;  // options only a render uses, as given
    bool forceGiven = false, moduleGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            const auto equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.erase(equals);
                hasValue = true;
            }
        }
        auto needValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto needText = [&](const char* what) -> bool {
            if (!needValue()) return false;
            if (!value.empty()) return true;
            error = arg + " needs " + what;
            return false;
        };
        auto flag = [&]() -> bool {
            if (!hasValue) return true;
            error = arg + " takes no value";
            return false;
        };
        if (arg == "--help" || arg == "-h") {
            if (!flag()) return false;
            options.help = true;
        } else if (arg == "--version") {
            if (!flag()) return false;
            options.version = true;
        } else if (arg == "--force" || arg == "-f") {
            if (!flag()) return false;
            options.force = forceGiven = true;
        } else if (arg == "--list") {
            if (!flag()) return false;
            options.list = true;
        } else if (arg == "--module") {
            if (!needText("a path")) return false;
            options.module = value;
            moduleGiven = true;
        } else if (arg == "--response") {
            if (!needText("a file name")) return false;
            options.response = value;
        } else if (arg == "--program") {
            if (!needText("a number or a name")) return false;
            options.program = value;
            renderOnly.push_back(arg);
        } else if (arg == "--level") {
            double percent = 0.0;
            if (!needValue()) return false;
            if (!parseNumber(value, percent) || !crossfeed_units::levelPercentInRange(percent)) {
                error = "--level '" + value + "' is not a percentage from 0 to 100";
                return false;
            }
            options.level = crossfeed_units::levelFromPercent(percent);
            options.levelText = value;
            renderOnly.push_back(arg);
        } else if (arg == "--delay") {
            double milliseconds = 0.0;
            if (!needValue()) return false;
            if (!parseNumber(value, milliseconds) || !crossfeed_units::delayMillisecondsInRange(milliseconds)) {
                error = "--delay '" + value + "' is not a delay from 0 to 11.60997 ms";
                return false;
            }
            options.delay = crossfeed_units::delayFromMilliseconds(milliseconds);
            options.delayText = value;
            renderOnly.push_back(arg);
        } else if (arg == "--block") {
            long frames = 0;
            if (!needValue()) return false;
            if (!parseWhole(value, frames) || frames < 1 || frames > kMaxBlock) {
                error = "--block '" + value + "' is not a frame count from 1 to 1048576";
                return false;
            }
            options.block = static_cast<int>(frames);
            renderOnly.push_back(arg);
        } else if (arg == "--bits") {
            if (!needValue()) return false;
            if (value != "16" && value != "24" && value != "32" && value != "float") {
                error = "--bits '" + value + "' is not 16, 24, 32 or float";
                return false;
            }
            options.bits = value;
            renderOnly.push_back(arg);
        } else if (arg == "--quality") {
            double quality = 0.0;
            if (!needValue()) return false;
            if (!parseNumber(value, quality) || quality > 10.0) {
                error = "--quality '" + value + "' is not a number from 0 to 10";
                return false;
            }
            options.quality = quality;
            renderOnly.push_back(arg);
        } else if (arg == "--type") {
            if (!needText("an extension")) return false;
            options.type = value[0] == '.' ? value.substr(1) : value;
            renderOnly.push_back(arg);
        } else if (arg == "-o" || arg == "--output-dir") {
            if (!needText("a directory")) return false;
            options.directory = value;
        } else if (arg == "--jobs" || arg == "-j") {
            long jobs = 0;
            if (!needValue()) return false;
            if (!parseWhole(value, jobs) || jobs < 1 || jobs > kMaxJobs) {
                error = arg + " '" + value + "' is not a count from 1 to 64";
                return false;
            }
            options.jobs = static_cast<int>(jobs);
            renderOnly.push_back("--jobs");
        } else if (arg == "--dither") {
            if (!flag()) return false;
            options.dither = true;
            renderOnly.push_back(arg);
        } else if (arg == "--keep-partial") {
            if (!flag()) return false;
            options.keepPartial = true;
            renderOnly.push_back(arg);
        } else if (arg == "--") {
            for (++i; i < argc; ++i) positional.push_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option '" + arg + "' (see --help)";
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (options.help) return true;
    // Exactly one mode; an option the mode does not use is a mistake.
    const char* mode = options.version ? "--version" : options.list ? "--list" : !options.response.empty() ? "--response" : nullptr;
    const int modes = int(options.version) + int(options.list) + int(!options.response.empty());
    if (modes > 1) {
        error = "--version, --list and --response cannot be combined";
        return false;
    }
    if (mode) {
        if (!renderOnly.empty()) {
            error = renderOnly.front() + " is not used with " + mode;
            return false;
        }
        if (!options.directory.empty()) {
            error = std::string("-o is not used with ") + mode;
            return false;
        }
        if (forceGiven && options.response.empty()) {
            error = std::string("--force is not used with ") + mode;
            return false;
        }
        if (!positional.empty()) {
            error = std::string(mode) + " takes no INPUT or OUTPUT";
            return false;
        }
        (void)moduleGiven;
        return true;
    }
    if (!options.directory.empty()) {
        if (positional.empty()) {
            error = "-o DIR needs at least one INPUT";
            return false;
        }
        for (const auto& input : positional)
            if (input == "-") {
                error = "-o DIR cannot read standard input";
                return false;
            }
        options.inputs = positional;
        return true;
    }
    if (positional.size() != 2) {
        error = "needs INPUT and OUTPUT (see --help)";
        return false;
    }
    if (options.jobs) {
        error = "--jobs is used only with -o DIR";
        return false;
    }
    options.inputs = {positional[0]};
    options.output = positional[1];
    if (!options.type.empty() && options.output != "-") {
        error = "--type is used only with - as OUTPUT or with -o DIR; OUTPUT's extension names its format";
        return false;
    }
    return true;
}
