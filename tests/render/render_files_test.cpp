// What comes out around the audio: exact integers, formats, tags, pipes,
// folders and the refusals that keep a user's files safe.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "render/render_support.h"
#include "crossfeed/descriptor.h"
#include "support/module_under_test.h"

namespace fs = std::filesystem;

namespace {

using namespace render_support;

struct Ints {
    SF_INFO info{};
    std::vector<int> samples;  // left-aligned, as libsndfile gives them
};

Ints readInts(const fs::path& path) {
    Ints audio;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
    if (!file) return audio;
    audio.samples.resize(std::size_t(audio.info.frames) * std::size_t(audio.info.channels));
    sf_readf_int(file, audio.samples.data(), audio.info.frames);
    sf_close(file);
    return audio;
}

using RenderFiles = RenderFolder;

// The exact result, rounded to nearest and clipped, as the integer format holds it.
std::vector<int> rounded(const std::vector<float>& exact, int bits) {
    const double scale = std::ldexp(1.0, bits - 1);
    std::vector<int> result;
    for (float sample : exact) {
        const double value = std::nearbyint(double(sample) * scale);
        const double clipped = std::fmin(std::fmax(value, -scale), scale - 1);
        result.push_back(int(std::int64_t(clipped) * (std::int64_t(1) << (32 - bits))));
    }
    return result;
}

TEST_F(RenderFiles, IntegerOutputIsTheExactResultRoundedToNearest) {
    for (const int bits : {16, 24}) {
        const int subtype = bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24;
        writeAudio(dir / "in.wav", SF_FORMAT_WAV | subtype, 2, 44100, noise(2 * 20000, 11));
        const auto input = readFloats(dir / "in.wav");
        for (const char* name : {"out.wav", "out.flac"}) {
            const Outcome result = run(std::string("--program 1 in.wav ") + name);
            ASSERT_EQ(result.status, 0) << result.err;
            const Ints output = readInts(dir / name);
            EXPECT_EQ(output.info.format & SF_FORMAT_SUBMASK, subtype) << name;
            EXPECT_EQ(output.samples, rounded(processDirectly(input, 1), bits)) << bits << "-bit " << name;
            fs::remove(dir / name);
        }
    }

    // Float input beyond full scale: clipped, counted, and still a success.
    auto loud = noise(2 * 5000, 12);
    for (float& sample : loud) sample *= 1.5f;
    writeAudio(dir / "loud.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, loud);
    const Outcome clipped = run("--bits 16 loud.wav loud16.wav");
    ASSERT_EQ(clipped.status, 0) << clipped.err;
    const auto expected = rounded(processDirectly(loud, 0), 16);
    EXPECT_EQ(readInts(dir / "loud16.wav").samples, expected);
    std::size_t count = 0;
    const double scale = 32768.0;
    for (float sample : processDirectly(loud, 0))
        count += std::nearbyint(sample * scale) > 32767 || std::nearbyint(sample * scale) < -32768;
    ASSERT_GT(count, 0u);
    EXPECT_NE(clipped.err.find(std::to_string(count) + " samples clipped"), std::string::npos) << clipped.err;

    // Not-a-number and infinities become silence and full scale, in every
    // integer width, without an undefined conversion.
    std::vector<float> odd = noise(2 * 600, 13);
    for (std::size_t i = 0; i < odd.size(); i += 7) odd[i] = i % 3 ? NAN : (i % 2 ? INFINITY : -INFINITY);
    writeAudio(dir / "odd.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, odd);
    for (const char* bits : {"16", "24", "32"}) {
        const Outcome result = run(std::string("--bits ") + bits + " --force odd.wav odd-int.wav");
        ASSERT_EQ(result.status, 0) << bits << result.err;
        EXPECT_NE(result.err.find("samples clipped"), std::string::npos) << result.err;
        EXPECT_EQ(readInts(dir / "odd-int.wav").info.frames, 600);
    }

    // Dither moves samples by at most one step and averages out.
    const Outcome dithered = run("--dither --bits 16 in.wav dith.wav");
    ASSERT_EQ(dithered.status, 0) << dithered.err;
    const auto plain = rounded(processDirectly(readFloats(dir / "in.wav"), 0), 16);
    const auto noisy = readInts(dir / "dith.wav").samples;
    ASSERT_EQ(noisy.size(), plain.size());
    std::size_t moved = 0;
    double bias = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const int step = (noisy[i] - plain[i]) / 65536;
        EXPECT_LE(std::abs(step), 1) << i;
        moved += step != 0;
        bias += step;
    }
    EXPECT_GT(moved, plain.size() / 10);
    EXPECT_LT(std::fabs(bias / double(plain.size())), 0.02);
    EXPECT_NE(run("--dither in.flac d.flac").status, 0);
}

TEST_F(RenderFiles, TheExtensionNamesTheFormatAndUnknownOnesAreRefusedFirst) {
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 44100, 3));
    const struct {
        const char* name;
        int format;
    } cases[] = {{"o.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}, {"o.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                 {"o.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},          {"o.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                 {"o.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16},          {"o.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16}};
    for (const auto& item : cases) {
        const Outcome result = run(std::string("in.wav ") + item.name);
        ASSERT_EQ(result.status, 0) << item.name << result.err;
        SF_INFO info{};
        readFloats(dir / item.name, &info);
        EXPECT_EQ(info.format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK), item.format) << item.name;
    }
    // MP3 in: decoded, and written as 16-bit where the container has no MP3.
    const Outcome back = run("o.mp3 back.wav");
    ASSERT_EQ(back.status, 0) << back.err;
    SF_INFO info{};
    readFloats(dir / "back.wav", &info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(run("--bits 24 in.wav deep.flac").status, 0);
    readFloats(dir / "deep.flac", &info);
    EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(run("--quality 2 in.wav small.mp3").status, 0);
    EXPECT_LT(fs::file_size(dir / "small.mp3"), fs::file_size(dir / "o.mp3"));

    const auto before = listing();
    const struct {
        const char* arguments;
        const char* message;
    } refusals[] = {
        {"in.wav out.xyz", "out.xyz: libsndfile writes no '.xyz' files"},
        {"--bits float in.wav f.flac", "cannot write FLAC float"},
        {"--bits 16 in.wav b.mp3", "--bits applies only"},
        {"--quality 5 in.wav q.wav", "--quality applies only to lossy output"},
        {"--quality 11 in.wav q.mp3", "--quality '11' is not a number"},
        {"--level 0x10 in.wav l.wav", "--level '0x10' is not a percentage"},
        {"--level 1e1 in.wav l.wav", "--level '1e1' is not a percentage"},
        {"--delay -1 in.wav l.wav", "--delay '-1' is not a delay"},
        {"--list --level 50", "--level is not used with --list"},
        {"--response r.csv --program 1", "--program is not used with --response"},
        {"--version --force", "--force is not used with --version"},
        {"--jobs 2 in.wav j.wav", "--jobs is used only with -o DIR"},
        {"--type flac in.wav t.wav", "--type is used only with - as OUTPUT"},
    };
    for (const auto& refusal : refusals) {
        const Outcome result = run(refusal.arguments);
        EXPECT_EQ(result.status, 1) << refusal.arguments;
        EXPECT_NE(result.err.find(refusal.message), std::string::npos) << refusal.arguments << "\n" << result.err;
        EXPECT_EQ(listing(), before) << refusal.arguments;
    }
    const Outcome version = run("--version");
    ASSERT_EQ(version.status, 0) << version.err;
    const std::string number = crossfeed::versionText(crossfeed::kVersion).text;
    EXPECT_EQ(version.out.rfind("crossfeed-render " + number + "\nmodule ", 0), 0u) << version.out;
    EXPECT_NE(version.out.find(", version " + number + " ("), std::string::npos) << version.out;
}

TEST_F(RenderFiles, OnlyRegularFilesAreEverReplaced) {
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 1000, 5));
    // Our own nodes: the system's devices are never put at risk. Only root
    // may make a device node.
    const bool device = mknod((dir / "device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    // Root in a user namespace or a container may be refused it: then only
    // the device cases are left out, saying so.
    if (!device) {
        ASSERT_EQ(errno, EPERM) << std::strerror(errno);
        std::printf("SKIP: RenderFiles.OnlyRegularFilesAreEverReplaced, device nodes: this process may not make "
                    "one (mknod: %s)\n", std::strerror(EPERM));
    }
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    fs::create_symlink("device", dir / "to-device");
    fs::create_symlink("pipe", dir / "to-pipe.wav");
    const auto before = listing();
    std::vector<std::string> targets = {"pipe", "folder", "to-pipe.wav"};
    if (device) targets.insert(targets.end(), {"device", "to-device"});
    for (const auto& target : targets) {
        for (const char* force : {"", "--force "}) {
            const Outcome result = run(std::string(force) + "in.wav " + target);
            EXPECT_EQ(result.status, 1) << target;
            EXPECT_NE(result.err.find("only regular files are replaced"), std::string::npos) << result.err;
            const Outcome response = run(std::string(force) + "--response " + target);
            EXPECT_EQ(response.status, 1) << target;
        }
    }
    EXPECT_EQ(listing(), before);
    if (device) {
        EXPECT_TRUE(fs::is_character_file(dir / "device"));
    }
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));

    // A link to a regular file is written through, and stays a link.
    std::ofstream(dir / "real.wav") << "old";
    fs::create_symlink("real.wav", dir / "link.wav");
    ASSERT_EQ(run("--force in.wav link.wav").status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
    EXPECT_EQ(readInts(dir / "real.wav").info.frames, 1000);

    // --response keeps an existing file unless forced, and - is standard output.
    std::ofstream(dir / "r.csv") << "mine";
    EXPECT_EQ(run("--response r.csv").status, 1);
    EXPECT_EQ(slurp(dir / "r.csv"), "mine");
    const Outcome csv = run("--response -");
    ASSERT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.rfind("# Crossfeed responses", 0), 0u);
    EXPECT_FALSE(fs::exists(dir / "-"));

    // What a killed run left is named, not deleted.
    std::ofstream(dir / ".new.wav.part-AbC123") << "x";
    const Outcome stale = run("in.wav new.wav");
    ASSERT_EQ(stale.status, 0) << stale.err;
    EXPECT_NE(stale.err.find(".new.wav.part-AbC123"), std::string::npos) << stale.err;
    EXPECT_TRUE(fs::exists(dir / ".new.wav.part-AbC123"));
}

TEST_F(RenderFiles, AnInputThatEndsEarlyFailsWithTheFramesRead) {
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 44100, 6));
    writeAudio(dir / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 44100, 6));
    fs::resize_file(dir / "in.wav", 44 + 4 * 10000);
    fs::resize_file(dir / "in.flac", fs::file_size(dir / "in.flac") / 2);
    const auto before = listing();
    const Outcome wav = run("in.wav out.wav");
    EXPECT_EQ(wav.status, 1);
    EXPECT_NE(wav.err.find("in.wav: ends after 10000 frames; its header promises 44100"), std::string::npos) << wav.err;
    const Outcome flac = run("in.flac out.flac");
    EXPECT_EQ(flac.status, 1);
    EXPECT_NE(flac.err.find("in.flac: "), std::string::npos) << flac.err;
    EXPECT_NE(flac.err.find("frame"), std::string::npos) << flac.err;
    EXPECT_EQ(listing(), before);
    const Outcome kept = run("--keep-partial in.wav out.wav");
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(readInts(dir / "out.wav").info.frames, 10000);
}

TEST_F(RenderFiles, PipesCarryOnlyAudio) {
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 30000, 8));
    const std::string tool = CROSSFEED_RENDER;
    // Standard input through a real pipe, then standard output into one.
    Outcome result = shell("cat in.wav | " + tool + " --program 2 - piped.flac");
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_EQ(run("--program 2 in.wav file.flac").status, 0);
    EXPECT_EQ(readInts(dir / "piped.flac").samples, readInts(dir / "file.flac").samples);
    result = shell(tool + " --program 2 --type au in.wav - | cat > out.au");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readInts(dir / "out.au").samples, readInts(dir / "file.flac").samples);
    // sox as a second opinion on what came down the pipe.
    result = shell(tool + " --type au in.wav - | sox -t au - -n stat 2>&1 | grep Samples");
    EXPECT_NE(result.out.find("60000"), std::string::npos) << result.out << result.err;
    result = shell(tool + " in.wav - | cat > refused");
    EXPECT_NE(result.err.find("cannot write WAV 16-bit to standard output"), std::string::npos) << result.err;
}

TEST_F(RenderFiles, AnInterruptExitsWith130AndLeavesNothing) {
    writeAudio(dir / "head.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 4410, 1));
    int feed = -1;
    const pid_t child = renderStalled(dir, "out.wav", slurp(dir / "head.au"), feed);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(appears(dir, ".out.wav.part-"));
    kill(child, SIGINT);
    const int status = ended(child);
    close(feed);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(listing(), (std::set<std::string>{"head.au"}));
}

TEST_F(RenderFiles, AFolderOfFilesRendersInParallelAndReportsEachFailure) {
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
        writeAudio(dir / name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 20000, name[0]));
    std::ofstream(dir / "bad.wav") << "not audio";
    const Outcome result = run("--jobs 3 --program 1 -o out/sub a.wav bad.wav b.wav c.wav d.wav");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("bad.wav: cannot read it as audio"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("4 of 5 files rendered into out/sub, 1 failed"), std::string::npos) << result.err;
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
        EXPECT_EQ(readInts(dir / "out/sub" / name).samples,
                  rounded(processDirectly(readFloats(dir / name), 1), 16)) << name;
    EXPECT_FALSE(fs::exists(dir / "out/sub/bad.wav"));

    // Opens that fail beside renders, many times over: each failure keeps
    // its own reason, and no other file loses its descriptor to it.
    std::string bad;
    for (int i = 0; i < 8; ++i) {
        std::ofstream(dir / ("bad" + std::to_string(i) + ".wav")) << "not audio";
        bad += " bad" + std::to_string(i) + ".wav";
    }
    for (int round = 0; round < 25; ++round) {
        const Outcome many = run("--jobs 8 --force -o many a.wav b.wav c.wav d.wav" + bad);
        ASSERT_EQ(many.status, 1) << many.err;
        std::size_t reasons = 0;
        for (std::size_t at = 0; (at = many.err.find("cannot read it as audio: Format not recognised", at)) !=
                                 std::string::npos;
             ++at)
            ++reasons;
        ASSERT_EQ(reasons, 8u) << "round " << round << "\n" << many.err;
        ASSERT_NE(many.err.find("4 of 12 files rendered into many, 8 failed"), std::string::npos) << many.err;
    }
    const Outcome typed = run("--type flac -o out a.wav b.wav");
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_TRUE(fs::exists(dir / "out/a.flac"));
}

}  // namespace
