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

using Render = RenderWholePaths;

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

}  // namespace
