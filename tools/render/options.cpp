#include "render/options.h"

#include "crossfeed/parameter_units.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool parseWhole(const std::string& text, long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

}  // namespace

const char kUsage[] =
    "Usage: crossfeed-render [options] INPUT OUTPUT\n"
    "       crossfeed-render [--module PATH] --list\n"
    "       crossfeed-render [--module PATH] --response FILE.csv\n"
    "\n"
    "Renders an audio file through the crossfeed module, loaded through its\n"
    "exported `main` as a plug-in host loads it.\n"
    "\n"
    "INPUT is any file libsndfile reads (WAV, FLAC, AIFF, Ogg...). Mono input is\n"
    "fed to both channels and written as stereo; three or more channels are refused.\n"
    "OUTPUT takes its format from its extension, else the input's; the sample rate\n"
    "is kept. OUTPUT is written beside itself under a temporary name and only\n"
    "renamed into place once complete; it must differ from INPUT.\n"
    "\n"
    "Options:\n"
    "  --program N|NAME  program number (0-based) or name as --list shows it\n"
    "                    (default: the module's first program)\n"
    "  --level PERCENT   crossfeed level, 0 to 100, on top of the program\n"
    "  --delay MS        cross delay, 0 to 11.60997 milliseconds at 44.1 kHz: the\n"
    "                    module's delay is a count of samples, so at other sample\n"
    "                    rates the real delay scales with 44100 / rate\n"
    "  --block N         frames per processing call, 1 to 1048576 (default 512)\n"
    "  --force           replace an existing OUTPUT\n"
    "  --module PATH     module to load (default: crossfeed.so beside this program)\n"
    "  --list            print the programs with their parameters' names, values\n"
    "                    and labels as the module reports them, then exit\n"
    "  --response FILE   measure each program at 44.1 kHz and write a CSV: the\n"
    "                    magnitude in dB of a centred mono source (left = right)\n"
    "                    from 20 Hz to 20 kHz, then the direct and cross impulse\n"
    "                    responses\n"
    "  --help            print this text\n"
    "\n"
    "A progress bar is shown for files longer than a few seconds when standard\n"
    "error is a terminal. Any failure prints one line and exits with status 1.\n";

bool parseOptions(int argc, char** argv, RenderOptions& options, std::string& error) {
    std::string positional[2];
    int positionalCount = 0;
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
        // A value that may not be empty; `what` names what it must be.
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
        } else if (arg == "--force" || arg == "-f") {
            if (!flag()) return false;
            options.force = true;
        } else if (arg == "--list") {
            if (!flag()) return false;
            options.list = true;
        } else if (arg == "--module") {
            if (!needText("a path")) return false;
            options.module = value;
        } else if (arg == "--response") {
            if (!needText("a file name")) return false;
            options.response = value;
        } else if (arg == "--program") {
            if (!needText("a number or a name")) return false;
            options.program = value;
        } else if (arg == "--level") {
            double percent = 0.0;
            if (!needValue()) return false;
            if (!parseNumber(value, percent) || !crossfeed_units::levelPercentInRange(percent)) {
                error = "--level '" + value + "' is not a percentage from 0 to 100";
                return false;
            }
            options.level = crossfeed_units::levelFromPercent(percent);
        } else if (arg == "--delay") {
            double milliseconds = 0.0;
            if (!needValue()) return false;
            if (!parseNumber(value, milliseconds) || !crossfeed_units::delayMillisecondsInRange(milliseconds)) {
                error = "--delay '" + value + "' is not a delay from 0 to 11.60997 ms";
                return false;
            }
            options.delay = crossfeed_units::delayFromMilliseconds(milliseconds);
        } else if (arg == "--block") {
            long frames = 0;
            if (!needValue()) return false;
            if (!parseWhole(value, frames) || frames < 1 || frames > kMaxBlock) {
                error = "--block '" + value + "' is not a frame count from 1 to 1048576";
                return false;
            }
            options.block = static_cast<int>(frames);
        } else if (arg == "--") {
            for (++i; i < argc; ++i) {
                if (positionalCount == 2) {
                    error = std::string("unexpected argument '") + argv[i] + "'";
                    return false;
                }
                positional[positionalCount++] = argv[i];
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option '" + arg + "' (see --help)";
            return false;
        } else {
            if (positionalCount == 2) {
                error = "unexpected argument '" + arg + "'";
                return false;
            }
            positional[positionalCount++] = arg;
        }
    }
    if (options.help) return true;
    if (options.list || !options.response.empty()) {
        if (positionalCount != 0) {
            error = std::string(options.list ? "--list" : "--response") + " takes no INPUT or OUTPUT";
            return false;
        }
        return true;
    }
    if (positionalCount != 2) {
        error = "needs INPUT and OUTPUT (see --help)";
        return false;
    }
    options.input = positional[0];
    options.output = positional[1];
    return true;
}
