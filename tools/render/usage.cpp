#include "crossfeed/descriptor.h"
#include "render/delay_text.h"
#include "render/options.h"

namespace {

std::string optionName(crossfeed::Parameter parameter) {
    return std::string("--") + crossfeed::kParameters[parameter].symbol;
}

}  // namespace

std::string usageText() {
    using crossfeed::kDelayParameter;
    using crossfeed::kLevelParameter;
    return std::string() +
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
    "number of clipped samples is reported. No output gets a non-number (it\n"
    "becomes silence) or an infinity; lossy encoders get at most full scale. A\n"
    ".wav beyond 4 GiB is written as RF64. Tags and pictures are copied where\n"
    "both formats hold them, with a note of the program and settings used.\n"
    "OUTPUT is written beside itself under a temporary name (.NAME.part-*) and\n"
    "renamed into place once complete; it must differ from INPUT, and an existing\n"
    "OUTPUT must be a regular file.\n"
    "\n"
    "Options:\n"
    "  --program N|NAME  program number (0-based) or name as --list shows it\n"
    "                    (default: the module's first program)\n"
    "  " + optionName(kLevelParameter) + " PERCENT   crossfeed level, " + plainRange(kLevelParameter) +
           ", on top of the program\n"
    "  " + optionName(kDelayParameter) + " MS        cross delay, " + plainRange(kDelayParameter) + ":\n"
    "                    the module counts it in samples, so at other rates the\n"
    "                    real delay scales by 44100 / rate (--list says it at\n"
    "                    44.1 and 48 kHz)\n"
    "  --bits 16|24|32|float  sample format of uncompressed or FLAC output\n"
    "  --dither          triangular dither before rounding to 16 bits or fewer\n"
    "  --quality Q       lossy output (MP3, Vorbis, Opus): 0 (smallest) to 10\n"
    "                    (best); default libsndfile's\n"
    "  --type EXT        format of standard output, or of the files -o writes\n"
    "  -o DIR            render every INPUT into DIR under its own name (with\n"
    "                    --type's extension if given); DIR is created if missing\n"
    "  --jobs N          files rendered at once with -o, 1 to " + std::to_string(kMaxJobs) +
           " (default: the\n"
    "                    cores)\n"
    "  --block N         frames per processing call, 1 to " + std::to_string(kMaxBlock) + " (default " +
           std::to_string(RenderOptions{}.block) + ")\n"
    "  --force           replace an existing OUTPUT\n"
    "  --keep-partial    keep what was rendered of an input that ends early\n"
    "  --module PATH     module to load (default: crossfeed.so beside this program,\n"
    "                    else ../lib/lxvst/crossfeed.so)\n"
    "  --list            print the programs with their parameters' names, values\n"
    "                    and labels as the module reports them, and the delay\n"
    "                    a listener hears, then exit\n"
    "  --response FILE   measure each program at 44.1 kHz and write a CSV (- for\n"
    "                    standard output): the magnitude in dB of a centred mono\n"
    "                    source from 20 Hz to 20 kHz, then the direct and cross\n"
    "                    impulse responses\n"
    "  --version         print this tool's and the module's versions\n"
    "  --help            print this text\n"
    "\n"
    "On a terminal, a progress line is shown for each file being rendered.\n"
    "Exit status: 0 when everything was rendered, 1 when anything failed (one\n"
    "line each on standard error), 130 when interrupted, 128+N when ended by\n"
    "signal N.\n";
}
