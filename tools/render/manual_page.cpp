// Writes the renderer's manual page from its template, with the version,
// ranges and programs of this build:  manual_page TEMPLATE PAGE
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "crossfeed/descriptor.h"
#include "loader/plugin_host.h"
#include "render/delay_text.h"
#include "render/options.h"

namespace {

// Each program as --list shows it, as a tagged paragraph.
std::string programs() {
    using namespace crossfeed;
    std::string text;
    for (std::int32_t i = 0; i < kPresetCount; ++i) {
        const Preset& preset = kPresets[i];
        text += ".TP\n\\fB" + std::to_string(i) + ": " + preset.name + "\\fR\n" +
                shownText(kLevelParameter, preset.level) + " " + kParameters[kLevelParameter].vstLabel + ", " +
                shownText(kDelayParameter, preset.delay) + " " + kParameters[kDelayParameter].vstLabel +
                "; true delay " + delayAtCommonRates(delaySamplesFor(preset.delay)) + ".\n";
    }
    return text;
}

struct Filling {
    const char* key;
    std::string text;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: manual_page TEMPLATE PAGE\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream read;
    read << in.rdbuf();
    std::string page = read.str();
    const Filling fillings[] = {
        {"@VERSION@", crossfeed::versionText(crossfeed::kVersion).text},
        {"@LEVEL_RANGE@", plainRange(crossfeed::kLevelParameter)},
        {"@DELAY_RANGE@", plainRange(crossfeed::kDelayParameter)},
        {"@BLOCK_MAX@", std::to_string(kMaxBlock)},
        {"@BLOCK_DEFAULT@", std::to_string(RenderOptions{}.block)},
        {"@JOBS_MAX@", std::to_string(kMaxJobs)},
        {"@MOST_PROGRAMS@", std::to_string(kMostPrograms)},
        {"@MOST_PARAMETERS@", std::to_string(kMostParameters)},
        {"@MOST_CHANNELS@", std::to_string(kMostChannels)},
        {"@PROGRAMS@", programs()},
    };
    for (const Filling& filling : fillings)
        for (std::size_t at; (at = page.find(filling.key)) != std::string::npos;)
            page.replace(at, std::string(filling.key).size(), filling.text);
    if (!in || page.find('@') != std::string::npos) {
        std::fprintf(stderr, "manual_page: %s cannot be read, or holds a key not filled in\n", argv[1]);
        return 1;
    }
    std::ofstream out(argv[2]);
    out << page;
    return out.good() ? 0 : 1;
}
