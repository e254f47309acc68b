// The renderer driven as a user runs it, on real files made here.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "render/render_support.h"
#include "crossfeed/descriptor.h"
#include "support/module_under_test.h"

namespace fs = std::filesystem;

namespace {

using namespace render_support;

struct Audio {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved
};

Audio readAudio(const fs::path& path) {
    Audio audio;
    audio.samples = readFloats(path, &audio.info);
    return audio;
}

std::vector<float> toStereo(const std::vector<float>& mono) {
    std::vector<float> stereo;
    for (float sample : mono) stereo.insert(stereo.end(), {sample, sample});
    return stereo;
}

void expectNear(const std::vector<float>& actual, const std::vector<float>& expected, double tolerance,
                const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (std::size_t i = 0; i < actual.size(); ++i)
        ASSERT_NEAR(actual[i], expected[i], tolerance) << what << ", sample " << i;
}

class Render : public RenderFolder {
protected:
    Outcome run(const std::string& arguments) { return capture(std::string("'") + CROSSFEED_RENDER + "' " + arguments); }

    std::string at(const std::string& name) const { return "'" + (dir / name).string() + "'"; }
};

TEST_F(Render, OutputEqualsTheModulesOwnProcessingWhateverTheBlockSize) {
    // Six seconds: long enough for a progress bar, which must stay off
    // when standard error is not a terminal.
    const auto input = noise(2 * 6 * 8000, 7);
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 8000, input);
    const auto expected = processDirectly(input, 1);
    for (const char* block : {"1", "100", "", "4096"}) {
        const std::string option = *block ? std::string("--block ") + block : "";
        const Outcome result = run("--program 1 " + option + " " + at("in.wav") + " " + at("out.wav"));
        ASSERT_EQ(result.status, 0) << result.err;
        // Only the delay at 8 kHz is said; no progress line.
        EXPECT_EQ(result.err, "crossfeed-render: " + (dir / "out.wav").string() +
                                  ": delay 71 samples = 8.88 ms at 8000 Hz (the module shows 1.625396 ms, counted at "
                                  "44.1 kHz)\n");
        const Audio output = readAudio(dir / "out.wav");
        EXPECT_EQ(output.info.samplerate, 8000);
        EXPECT_EQ(output.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        EXPECT_EQ(bitDifference(output.samples, expected), "") << std::string("block ") + block;
        fs::remove(dir / "out.wav");
    }

    // A program chosen by name, and the two parameters set on top of it.
    const Outcome named = run("--program 'car STEREO' --level 60 --delay 2 " + at("in.wav") + " " + at("out.wav"));
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(bitDifference(readAudio(dir / "out.wav").samples,
                            processDirectly(input, 3, float(60 / 100.0), float(2 * 44.1 / 512))),
              "")
        << "named program";
}

TEST_F(Render, ReadsAndWritesMonoIntegerAndFloatFormats) {
    const auto mono = noise(5000, 3);
    writeAudio(dir / "mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, mono);
    const Outcome monoRun = run(at("mono.wav") + " " + at("mono-out.wav"));
    ASSERT_EQ(monoRun.status, 0) << monoRun.err;
    EXPECT_NE(monoRun.err.find("mono"), std::string::npos) << monoRun.err;
    const Audio monoOut = readAudio(dir / "mono-out.wav");
    EXPECT_EQ(monoOut.info.channels, 2);
    EXPECT_EQ(monoOut.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const Audio monoIn = readAudio(dir / "mono.wav");
    expectNear(monoOut.samples, processDirectly(toStereo(monoIn.samples), 0), 1.0 / 32768, "mono 16-bit");

    const auto stereo = noise(2 * 5000, 5);
    writeAudio(dir / "deep.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 96000, stereo);
    const Outcome deepRun = run("--program 2 " + at("deep.wav") + " " + at("deep-out.wav"));
    ASSERT_EQ(deepRun.status, 0) << deepRun.err;
    const Audio deepOut = readAudio(dir / "deep-out.wav");
    EXPECT_EQ(deepOut.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(deepOut.info.samplerate, 96000);
    expectNear(deepOut.samples, processDirectly(readAudio(dir / "deep.wav").samples, 2), 1.0 / 8388608, "24-bit");

    // Passing through at level 0 must give back every 24-bit sample unchanged.
    const Outcome passRun = run("--level 0 " + at("deep.wav") + " " + at("pass.wav"));
    ASSERT_EQ(passRun.status, 0) << passRun.err;
    EXPECT_EQ(bitDifference(readAudio(dir / "pass.wav").samples, readAudio(dir / "deep.wav").samples), "")
        << "24-bit at level 0";

    writeAudio(dir / "float.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 44100, stereo);
    const Outcome floatRun = run(at("float.aiff") + " " + at("float-out.aiff"));
    ASSERT_EQ(floatRun.status, 0) << floatRun.err;
    const Audio floatOut = readAudio(dir / "float-out.aiff");
    EXPECT_EQ(floatOut.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_AIFF);
    EXPECT_EQ(floatOut.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(bitDifference(floatOut.samples, processDirectly(stereo, 0)), "") << "float AIFF";

    // The extension picks the container; FLAC cannot hold floats.
    const Outcome flacRun = run(at("float.aiff") + " " + at("out.flac"));
    ASSERT_EQ(flacRun.status, 0) << flacRun.err;
    EXPECT_EQ(readAudio(dir / "out.flac").info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
}

TEST_F(Render, EveryFailureNamesItsCauseAndLeavesNoFileBehind) {
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 1000, 9));
    writeAudio(dir / "three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, 44100, noise(3 * 1000, 9));
    std::ofstream(dir / "notes.wav") << "not audio\n";
    std::ofstream(dir / "taken.wav") << "keep me\n";
    const std::string in = at("in.wav"), out = at("out.wav");
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {at("missing.wav") + " " + out, "missing.wav: No such file or directory"},
        {at("notes.wav") + " " + out, "notes.wav: cannot read it as audio"},
        {at("three.wav") + " " + out, "three.wav: 3 channels"},
        {in + " " + in, "in.wav: is the input file"},
        {in + " '" + (dir / "." / "in.wav").string() + "'", "in.wav: is the input file"},
        {in + " " + at("taken.wav"), "taken.wav: already exists (use --force"},
        {in + " " + at("out.opus"), "out.opus: Opus takes only 8000, 12000, 16000, 24000 or 48000 Hz, not 44100 Hz"},
        {in + " " + at("no-such-folder/out.wav"), "no-such-folder/out.wav: cannot create a file in"},
        {"--block 0 " + in + " " + out, "--block '0' is not a frame count"},
        {"--block 2x " + in + " " + out, "--block '2x' is not a frame count"},
        {"--level 101 " + in + " " + out, "--level '101' is not a percentage"},
        {"--level abc " + in + " " + out, "--level 'abc' is not a percentage"},
        {"--delay 12 " + in + " " + out, "--delay '12' is not a delay"},
        {"--program 4 " + in + " " + out, "--program: there is no program 4"},
        {"--program Attic " + in + " " + out, "--program: no program is called 'Attic'"},
        {"--frobnicate " + in + " " + out, "unknown option '--frobnicate'"},
        {in, "needs INPUT and OUTPUT"},
        {"--module " + at("missing.so") + " " + in + " " + out, "missing.so: cannot load the module"},
        {"--module " + at("notes.wav") + " " + in + " " + out, "notes.wav: cannot load the module"},
        {std::string("--module '") + NULL_MAIN_MODULE + "' " + in + " " + out, "the module's main answered null"},
    };
    const auto before = listing();
    for (const auto& failure : cases) {
        const Outcome result = run(failure.arguments);
        EXPECT_EQ(result.status, 1) << failure.arguments;
        EXPECT_NE(result.err.find(failure.message), std::string::npos) << failure.arguments << "\n" << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(listing(), before) << failure.arguments;
    }
    EXPECT_EQ(slurp(dir / "taken.wav"), "keep me\n");

    const Outcome forced = run("--force " + in + " " + at("taken.wav"));
    ASSERT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(readAudio(dir / "taken.wav").info.frames, 1000);
}

// The command a message offers, with IN and OUT filled in.
std::string offered(const std::string& message, const std::string& in, const std::string& out) {
    const auto start = message.find("ffmpeg -i IN");
    if (start == std::string::npos) return "";
    std::string command = message.substr(start, message.find('\n', start) - start);
    command.replace(command.find(" IN "), 4, " " + in + " ");
    command.replace(command.rfind(" OUT"), std::string::npos, " " + out);
    return "ffmpeg -loglevel error" + command.substr(6);
}

TEST_F(Render, WhatCannotBeReadOrWrittenIsSaidWithTheCommandThatDoesIt) {
    const std::string tool = CROSSFEED_RENDER;
    ASSERT_EQ(shell("ffmpeg -loglevel error -f lavfi -i sine=d=2 -ac 2 in.m4a").status, 0);
    writeAudio(dir / "six.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6, 48000, noise(6 * 48000, 31));
    writeAudio(dir / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 88200, 32));
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 88200, 33));
    const struct {
        std::string line, said, works;
    } cases[] = {
        {tool + " in.m4a out.wav", "in.m4a: cannot read it as audio: Format not recognised.", "out.wav"},
        {tool + " six.wav out.wav", "six.wav: 6 channels; only mono and stereo can be crossfed", "out.wav"},
        {"cat in.flac | " + tool + " - out.wav",
         "standard input: cannot read it as audio: FLAC cannot come through a pipe", "out.wav"},
        {tool + " in.wav out.opus", "out.opus: Opus takes only 8000, 12000, 16000, 24000 or 48000 Hz, not 44100 Hz",
         "out.opus"},
    };
    for (const auto& item : cases) {
        const Outcome refused = shell(item.line);
        EXPECT_EQ(refused.status, 1) << item.line;
        EXPECT_NE(refused.err.find(item.said), std::string::npos) << item.line << "\n" << refused.err;
        // The command offered works as given.
        const std::string input = item.line.find("in.flac") != std::string::npos ? "in.flac"
                                  : item.line.find("six.wav") != std::string::npos ? "six.wav"
                                  : item.line.find("in.m4a") != std::string::npos ? "in.m4a"
                                                                                    : "in.wav";
        const std::string command = offered(refused.err, input, item.works);
        ASSERT_NE(command, "") << refused.err;
        const std::size_t tail = command.rfind("crossfeed-render");
        const Outcome works = shell(command.substr(0, tail) + tool + command.substr(tail + 16));
        EXPECT_EQ(works.status, 0) << command << "\n" << works.err;
        EXPECT_GT(readFloats(dir / item.works).size(), 0u) << command;
        fs::remove(dir / item.works);
    }

    // A reader that goes away is said to have gone; the format was right.
    const Outcome gone = shell(tool + " --type au in.wav - | true");
    EXPECT_EQ(gone.status, 0);  // the pipeline's, which is true's
    EXPECT_NE(gone.err.find("standard output: cannot write: the program reading it went away (broken pipe)"),
              std::string::npos)
        << gone.err;
    EXPECT_EQ(gone.err.find("--type"), std::string::npos) << gone.err;
    const Outcome wrong = shell(tool + " --type wav in.wav - | cat > /dev/null");
    EXPECT_NE(wrong.err.find("(--type au, flac, caf, ogg or mp3 can go through a pipe)"), std::string::npos)
        << wrong.err;
}

TEST_F(Render, ListShowsTheModulesTextsAndTheDelayHeard) {
    const Outcome result = run("--list");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "0: Bedroom studio\n"
              "    Inter-Aural  30.00000  X-Over (%)\n"
              "    Inter-Aural  2.089796  Delay (ms)\n"
              "    true delay   92 samples = 2.09 ms at 44.1 kHz, 1.92 ms at 48 kHz\n"
              "1: Lounge room\n"
              "    Inter-Aural  45.00000  X-Over (%)\n"
              "    Inter-Aural  1.625396  Delay (ms)\n"
              "    true delay   71 samples = 1.61 ms at 44.1 kHz, 1.48 ms at 48 kHz\n"
              "2: Big Head\n"
              "    Inter-Aural  20.00000  X-Over (%)\n"
              "    Inter-Aural  11.60997  Delay (ms)\n"
              "    true delay   511 samples = 11.59 ms at 44.1 kHz, 10.65 ms at 48 kHz\n"
              "3: Car stereo\n"
              "    Inter-Aural  25.00000  X-Over (%)\n"
              "    Inter-Aural  1.160997  Delay (ms)\n"
              "    true delay   51 samples = 1.16 ms at 44.1 kHz, 1.06 ms at 48 kHz\n");
    // The samples are the ones processing applies to each preset.
    for (int i = 0; i < crossfeed::kPresetCount; ++i)
        EXPECT_NE(result.out.find("true delay   " + std::to_string(crossfeed::delaySamplesFor(crossfeed::kPresets[i].delay)) +
                                  " samples"),
                  std::string::npos)
            << crossfeed::kPresets[i].name;
}

TEST_F(Render, TheDelayAtTheFilesRateIsSaidAndTagged) {
    writeAudio(dir / "in96.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 96000, noise(2 * 9600, 34));
    writeAudio(dir / "in44.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 4410, 35));
    const Outcome one = run(at("in96.wav") + " " + at("out96.flac"));
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.err.find("out96.flac: delay 92 samples = 0.96 ms at 96000 Hz (the module shows 2.089796 ms, "
                           "counted at 44.1 kHz)"),
              std::string::npos)
        << one.err;
    const Outcome tags = shell("metaflac --export-tags-to=- out96.flac");
    EXPECT_NE(tags.out.find("ENCODER=crossfeed-render " + std::string(crossfeed::versionText(crossfeed::kVersion).text) +
                            ": crossfeed program \"Bedroom studio\", delay 92 samples = 0.96 ms at 96000 Hz\n"),
              std::string::npos)
        << tags.out;
    // At 44.1 kHz the texts shown are close to what is heard: nothing said.
    const Outcome quiet = run(at("in44.wav") + " " + at("out44.wav"));
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    // A folder's summary gives it at each rate rendered, with the options set.
    const Outcome folder = run("--program 'Car stereo' --delay 2 -o " + at("out") + " " + at("in96.wav") + " " +
                               at("in44.wav"));
    ASSERT_EQ(folder.status, 0) << folder.err;
    EXPECT_NE(folder.err.find("2 of 2 files rendered into " + (dir / "out").string() +
                              "; delay 88 samples = 2.00 ms at 44100 Hz, 0.92 ms at 96000 Hz\n"),
              std::string::npos)
        << folder.err;
    EXPECT_EQ(folder.err.find("counted at 44.1 kHz"), std::string::npos) << folder.err;
}

// The tables of the --response CSV, each a header and rows of fields.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    std::size_t column(const std::string& name) const {
        return std::size_t(std::find(header.begin(), header.end(), name) - header.begin());
    }
};

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

std::vector<Table> csvTables(const std::string& text) {
    std::vector<Table> tables(1);
    std::istringstream csv(text);
    for (std::string line; std::getline(csv, line);) {
        if (!line.empty() && line[0] == '#') continue;
        if (line.empty()) {
            if (!tables.back().header.empty()) tables.emplace_back();
            continue;
        }
        if (tables.back().header.empty()) tables.back().header = fieldsOf(line);
        else tables.back().rows.push_back(fieldsOf(line));
    }
    return tables;
}

// The first frequency of a magnitude column where the level stops falling.
double firstNotch(const Table& table, std::size_t column) {
    for (std::size_t i = 1; i + 1 < table.rows.size(); ++i)
        if (std::stod(table.rows[i][column]) < std::stod(table.rows[i - 1][column]) &&
            std::stod(table.rows[i][column]) <= std::stod(table.rows[i + 1][column]))
            return std::stod(table.rows[i][0]);
    return 0.0;
}

TEST_F(Render, ResponseMeasuresTheCombOfACentredSourceAtBothRates) {
    const Outcome result = run("--response " + at("presets.csv"));
    ASSERT_EQ(result.status, 0) << result.err;
    const auto tables = csvTables(slurp(dir / "presets.csv"));
    ASSERT_EQ(tables.size(), 4u);
    const Table &at44 = tables[0], &impulses = tables[1], &at48 = tables[2], &summary = tables[3];
    for (const Table* table : {&at44, &at48}) {
        EXPECT_EQ(table->header, fieldsOf("frequency_hz,Bedroom studio,Lounge room,Big Head,Car stereo"));
        ASSERT_GT(table->rows.size(), 1000u);
        EXPECT_NEAR(std::stod(table->rows.front()[0]), 20.0, 1e-3);
        EXPECT_NEAR(std::stod(table->rows.back()[0]), 20000.0, 1e-3);
        // Bedroom studio: 0.85 direct plus 0.15 cross 92 samples later. A
        // centred source swings between their sum and their difference.
        double low = 0.0, high = -100.0;
        for (const auto& row : table->rows) {
            low = std::min(low, std::stod(row[1]));
            high = std::max(high, std::stod(row[1]));
        }
        EXPECT_NEAR(high, 0.0, 0.01);
        EXPECT_NEAR(low, 20.0 * std::log10(0.7), 0.05);
    }
    ASSERT_EQ(impulses.rows.size(), std::size_t(crossfeed::kRingLength));
    for (const auto& row : impulses.rows) {
        const int n = std::stoi(row[0]);
        EXPECT_NEAR(std::stod(row[1]), n == 0 ? 0.85 : 0.0, 1e-7) << n;
        EXPECT_NEAR(std::stod(row[2]), n == 92 ? 0.15 : 0.0, 1e-7) << n;
    }

    // Each program in numbers: the delay measured is the one --list gives,
    // and the notches lie where the magnitude tables have them.
    const std::string list = run("--list").out;
    ASSERT_EQ(summary.rows.size(), 4u);
    for (std::size_t p = 0; p < summary.rows.size(); ++p) {
        const auto& row = summary.rows[p];
        const std::string delay = row[summary.column("delay_samples")] + " samples = " +
                                  row[summary.column("delay_ms_44100")] + " ms at 44.1 kHz, " +
                                  row[summary.column("delay_ms_48000")] + " ms at 48 kHz";
        EXPECT_NE(list.find(row[0] + "\n    Inter-Aural  " + row[1] + "  X-Over (%)\n    Inter-Aural  " + row[2] +
                            "  Delay (ms)\n    true delay   " + delay + "\n"),
                  std::string::npos)
            << row[0] << "\n" << list;
        EXPECT_EQ(std::stoi(row[summary.column("delay_samples")]),
                  crossfeed::delaySamplesFor(crossfeed::kPresets[p].delay));
        EXPECT_NEAR(firstNotch(at44, p + 1), std::stod(row[summary.column("first_notch_hz_44100")]),
                    std::stod(row[summary.column("first_notch_hz_44100")]) * 0.003)
            << row[0];
        EXPECT_NEAR(firstNotch(at48, p + 1), std::stod(row[summary.column("first_notch_hz_48000")]),
                    std::stod(row[summary.column("first_notch_hz_48000")]) * 0.003)
            << row[0];
    }
    // The longest delay puts the first notch in the bass.
    EXPECT_EQ(summary.rows[2][summary.column("level_20hz_db_44100")], "-0.75");
    EXPECT_EQ(summary.rows[2][summary.column("first_notch_hz_44100")], "43.2");
    EXPECT_EQ(summary.rows[2][summary.column("notch_db")], "-1.94");
}

TEST_F(Render, TheReadmeAndTheManualPageSayWhatTheToolMeasures) {
    const Outcome response = run("--response -");
    ASSERT_EQ(response.status, 0) << response.err;
    const Table summary = csvTables(response.out).back();
    const std::string list = run("--list").out, readme = slurp(README), manual = slurp(MANUAL_PAGE);
    ASSERT_EQ(summary.rows.size(), std::size_t(crossfeed::kPresetCount));
    for (std::size_t p = 0; p < summary.rows.size(); ++p) {
        auto at = [&](const char* name) { return summary.rows[p][summary.column(name)]; };
        const std::string heard = at("delay_samples") + " samples = " + at("delay_ms_44100") + " ms at 44.1 kHz, " +
                                  at("delay_ms_48000") + " ms at 48 kHz";
        const std::string row = "| " + std::to_string(p) + ": " + at("program") + " | " + at("level_shown") +
                                " X-Over (%), " + at("delay_shown_ms") + " Delay (ms) | " + heard + " | " +
                                at("level_20hz_db_44100") + " dB at 20 Hz; first notch " + at("notch_db") +
                                " dB at " + at("first_notch_hz_44100") + " Hz (" + at("first_notch_hz_48000") +
                                " Hz at 48 kHz), then one every " + at("notch_every_hz_44100") + " Hz (" +
                                at("notch_every_hz_48000") + " Hz); average " + at("average_db") + " dB |\n";
        EXPECT_NE(readme.find(row), std::string::npos) << "README.md lacks\n" << row;
        EXPECT_NE(list.find("true delay   " + heard + "\n"), std::string::npos) << list;
        EXPECT_NE(manual.find(at("level_shown") + " X-Over (%), " + at("delay_shown_ms") +
                              " Delay (ms); true delay " + heard + ".\n"),
                  std::string::npos)
            << "the manual page lacks " << heard;
    }
    // The delay option's range, as --help gives it.
    const std::string help = run("--help").out;
    const auto top = help.find("cross delay, 0 to ");
    ASSERT_NE(top, std::string::npos) << help;
    const std::string largest = help.substr(top + 18, help.find(' ', top + 18) - top - 18);
    EXPECT_NE(readme.find("| 0 to " + largest + " ms as shown, counted at 44.1 kHz;"), std::string::npos) << largest;
    EXPECT_NE(manual.find("Cross delay from 0 to " + largest + " ms at 44.1 kHz"), std::string::npos) << largest;
}

}  // namespace
