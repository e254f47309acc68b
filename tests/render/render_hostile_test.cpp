// The renderer against what a hostile user gives it: samples no encoder
// takes, pipes, full disks, cut files, outputs beyond 4 GiB, its own input
// as its output, modules it cannot drive, long and odd names, signals.
// Each ends in a clean result or one line naming the file, never in a
// signal, a hang, a partial file or a damaged one.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

class HostileInput : public RenderFolder {
protected:
    // The renderer in the folder with `arguments`, its files limited to
    // `limit` bytes, as `ulimit -f` would; waits at most a minute.
    Outcome runLimited(const std::string& arguments, rlim_t limit) {
        const pid_t child = fork();
        if (child == 0) {
            const rlimit size{limit, limit};
            const int out = open((root / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open((root / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (chdir(dir.c_str()) != 0 || out < 0 || err < 0 || setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(127);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            const std::string line = std::string("exec timeout 60 ") + CROSSFEED_RENDER + " " + arguments;
            execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        Outcome result;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = slurp(root / "out");
        result.err = slurp(root / "err");
        return result;
    }

    // Refused: status 1, one line naming `subject` and saying `reason`, the folder as it was.
    void expectRefused(const Outcome& result, const std::string& subject, const std::string& reason,
                       const std::set<std::string>& before, const std::string& what) {
        EXPECT_EQ(result.status, 1) << what << "\n" << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << what << "\n" << result.err;
        EXPECT_NE(result.err.find(subject + ": "), std::string::npos) << what << "\n" << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << what << "\n" << result.err;
        EXPECT_EQ(listing(), before) << what;
    }
};

bool allFinite(const std::vector<float>& samples) {
    for (float sample : samples)
        if (!std::isfinite(sample)) return false;
    return true;
}

TEST_F(HostileInput, NoEncoderIsHandedNonNumbersOrSamplesBeyondWhatItTakes) {
    for (const int rate : {44100, 48000}) {
        auto odd = noise(2 * 6000, 21);
        for (std::size_t i = 0; i < odd.size(); i += 37) {
            const float kinds[] = {NAN, INFINITY, -INFINITY, 1e5f, -3e7f, 1e30f};
            odd[i] = kinds[(i / 37) % 6];
        }
        writeAudio(dir / "odd.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, rate, odd);
        const std::vector<std::string> outputs =
            rate == 48000 ? std::vector<std::string>{"odd.opus"}
                          : std::vector<std::string>{"odd.mp3", "odd.ogg", "odd.flac", "odd-float.wav"};
        for (const auto& name : outputs) {
            const Outcome result = run("odd.wav " + name);
            ASSERT_EQ(result.status, 0) << name << "\n" << result.err;
            EXPECT_NE(result.err.find(name + ": "), std::string::npos) << result.err;
            EXPECT_NE(result.err.find("samples clipped at full scale"), std::string::npos) << result.err;
            EXPECT_NE(result.err.find("samples not a number, written as silence"), std::string::npos) << result.err;
            const auto samples = readFloats(dir / name);
            ASSERT_FALSE(samples.empty()) << name;
            EXPECT_TRUE(allFinite(samples)) << name;
            float loudest = 0.0f;
            for (float sample : samples) loudest = std::fmax(loudest, std::fabs(sample));
            // A float file keeps what is finite; the lossy ones got full scale
            // at most, which their decoders give back with a little overshoot.
            EXPECT_TRUE(name == "odd-float.wav" ? loudest > 1e29f : loudest < 4.0f) << name << ": " << loudest;
        }
    }
    EXPECT_EQ(listing(), (std::set<std::string>{"odd.wav", "odd.opus", "odd.mp3", "odd.ogg", "odd.flac",
                                                 "odd-float.wav"}));
}

TEST_F(HostileInput, APipeOrFifoAsInputIsReadOnceWithItsTags) {
    ASSERT_EQ(shell("ffmpeg -loglevel error -f lavfi -i sine=d=1 -ac 2 -metadata title=Piped -metadata artist=Band "
                    "in.wav").status, 0);
    ASSERT_EQ(run("in.wav file.flac").status, 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const Outcome fifo = shell("cat in.wav > fifo & " + std::string(CROSSFEED_RENDER) + " fifo fifo.flac");
    ASSERT_EQ(fifo.status, 0) << fifo.err;
    const Outcome substituted =
        capture("cd '" + dir.string() + "' && timeout 60 bash -c '" + CROSSFEED_RENDER + " <(cat in.wav) sub.flac'");
    ASSERT_EQ(substituted.status, 0) << substituted.err;
    for (const char* name : {"fifo.flac", "sub.flac"}) {
        EXPECT_EQ(readFloats(dir / name), readFloats(dir / "file.flac")) << name;
        const Outcome tags = shell(std::string("metaflac --export-tags-to=- ") + name);
        EXPECT_NE(tags.out.find("TITLE=Piped\n"), std::string::npos) << name << "\n" << tags.out;
        EXPECT_NE(tags.out.find("ARTIST=Band\n"), std::string::npos) << name << "\n" << tags.out;
    }
}

TEST_F(HostileInput, AFullDiskFailsTheOutputAndLeavesTheOldOneAlone) {
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 2 * 44100, 22));
    for (const char* extension : {"mp3", "ogg", "flac", "wav"}) {
        const std::string whole = std::string("whole.") + extension, kept = std::string("kept.") + extension;
        ASSERT_EQ(run("in.wav " + whole).status, 0) << whole;
        const rlim_t size = rlim_t(fs::file_size(dir / whole));
        std::ofstream(dir / kept) << "a good file";
        const auto before = listing();
        // Early in the audio, near its end (an encoder's last flush) and in
        // the tags written after it.
        for (const rlim_t limit : {size / 3, size - 3000, size - 1500, size - 600, size - 1}) {
            const Outcome result = runLimited("--force in.wav " + kept, limit);
            expectRefused(result, kept, "File too large", before, kept + " limited to " + std::to_string(limit));
            EXPECT_EQ(slurp(dir / kept), "a good file");
        }
    }
}

TEST_F(HostileInput, ACutInputOfAnyEncodingFailsWithTheFramesItsHeaderPromised) {
    const struct {
        const char* name;
        int format;
    } cases[] = {{"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},    {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE},
                 {"alaw.wav", SF_FORMAT_WAV | SF_FORMAT_ALAW},    {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW},
                 {"ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM}, {"in.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                 {"in.au", SF_FORMAT_AU | SF_FORMAT_PCM_16},      {"in.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_24},
                 {"in.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16}};
    for (const auto& item : cases) {
        writeAudio(dir / item.name, item.format, 2, 44100, noise(2 * 20000, 23));
        SF_INFO info{};
        readFloats(dir / item.name, &info);
        fs::resize_file(dir / item.name, fs::file_size(dir / item.name) * 7 / 10);
        const auto before = listing();
        const Outcome result = run(std::string(item.name) + " out.flac");
        expectRefused(result, item.name, "; its header promises " + std::to_string(info.frames) + "; nothing written",
                      before, item.name);
    }

    // Through a pipe: a cut stream fails; a whole one, and one whose writer
    // could not know its length (ffmpeg's all-ones sizes), do not.
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 20000, 24));
    const auto before = listing();
    expectRefused(shell("head -c 30000 in.wav | " + std::string(CROSSFEED_RENDER) + " - cut.flac"), "standard input",
                  "ends after 7489 frames; its header promises 20000", before, "cut pipe");
    ASSERT_EQ(shell("cat in.wav | " + std::string(CROSSFEED_RENDER) + " - whole.flac").status, 0);
    ASSERT_EQ(shell("ffmpeg -loglevel error -i in.wav -f wav - | " + std::string(CROSSFEED_RENDER) + " - streamed.flac")
                  .status,
              0);
    ASSERT_EQ(shell("ffmpeg -loglevel error -i in.wav -f wav - > streamed.wav").status, 0);
    ASSERT_EQ(run("streamed.wav streamed-file.flac").status, 0);
    for (const char* name : {"whole.flac", "streamed.flac", "streamed-file.flac"})
        EXPECT_EQ(readFloats(dir / name).size(), 2u * 20000) << name;
}

TEST_F(HostileInput, WavAudioBeyondFourGibibytesIsWrittenAsRf64AndAiffRefused) {
    // A header promising 3 GiB of 16-bit audio over a sparse file: no disk
    // space, and nothing is rendered for long, since each run is stopped
    // once its output's header shows the decision.
    constexpr std::uint32_t kData = 3u << 30;
    auto little = [](std::uint32_t value, int bytes) {
        std::string text;
        for (int i = 0; i < bytes; ++i) text += char(value >> (8 * i) & 0xff);
        return text;
    };
    std::ofstream(dir / "huge.wav", std::ios::binary)
        << "RIFF" << little(36 + kData, 4) << "WAVEfmt " << little(16, 4) << little(1, 2) << little(2, 2)
        << little(44100, 4) << little(44100 * 4, 4) << little(4, 2) << little(16, 2) << "data" << little(kData, 4);
    fs::resize_file(dir / "huge.wav", 44 + std::uintmax_t(kData));
    struct stat status {};
    ASSERT_EQ(stat((dir / "huge.wav").c_str(), &status), 0);
    if (status.st_blocks * 512 > (1 << 20)) GTEST_SKIP() << "the temporary folder's file system has no sparse files";

    const auto before = listing();
    expectRefused(run("--bits float huge.wav big.aiff"), "big.aiff",
                  "AIFF holds at most 4 GiB and this audio takes 6.0 GiB", before, "AIFF");
    // 6 GiB as float needs RF64; the same audio as 16-bit fits plain WAV.
    for (const auto& [arguments, magic] : {std::pair<std::string, std::string>{"--bits float huge.wav big.wav", "RF64"},
                                           {"huge.wav fits.wav", "RIFF"}}) {
        const pid_t child = fork();
        if (child == 0) {
            if (chdir(dir.c_str()) != 0) _exit(127);
            const int err = open((root / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, STDERR_FILENO);
            const std::string line = "exec " + std::string(CROSSFEED_RENDER) + " " + arguments;
            execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string head;
        for (int i = 0; i < 1000 && head.size() < 4; ++i) {
            for (const auto& entry : fs::directory_iterator(dir))
                if (entry.path().filename().string().find(".part-") != std::string::npos)
                    head = slurp(entry.path()).substr(0, 4);
            if (head.size() < 4) usleep(5000);
        }
        kill(child, SIGTERM);
        const int ending = ended(child);
        EXPECT_EQ(head, magic) << arguments;
        ASSERT_TRUE(WIFEXITED(ending)) << arguments;
        EXPECT_EQ(WEXITSTATUS(ending), 128 + SIGTERM);
        EXPECT_EQ(listing(), before) << arguments;
        const std::string said = slurp(root / "err");
        EXPECT_EQ(said.find("big.wav: more than 4 GiB of audio: writing RF64") != std::string::npos, magic == "RF64")
            << said;
    }
}

TEST_F(HostileInput, StandardOutputIsWrittenThroughTheDescriptorGiven) {
    std::ofstream(dir / "log.csv") << "my log\n";
    ASSERT_EQ(shell(std::string(CROSSFEED_RENDER) + " --response - >> log.csv").status, 0);
    const std::string log = slurp(dir / "log.csv");
    EXPECT_EQ(log.rfind("my log\n# Crossfeed responses", 0), 0u) << log.substr(0, 80);

    writeAudio(dir / "in.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 5000, 25));
    const std::string input = slurp(dir / "in.au");
    const auto before = listing();
    expectRefused(shell(std::string(CROSSFEED_RENDER) + " in.au - >> in.au"), "standard output", "is the input file",
                  before, "appending to the input");
    EXPECT_EQ(slurp(dir / "in.au"), input);

    std::ofstream(dir / "more.au") << "head";
    ASSERT_EQ(shell(std::string(CROSSFEED_RENDER) + " in.au - >> more.au").status, 0);
    EXPECT_EQ(slurp(dir / "more.au").substr(0, 8), "head.snd");
}

TEST_F(HostileInput, AModuleThatCannotBeDrivenIsRefusedBeforeUse) {
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 1000, 26));
    const struct {
        const char* kind;
        const char* reason;
    } cases[] = {{"magic", "its record has the wrong magic number"},
                 {"outputs", "the effect has 2 inputs and 8 outputs; only a stereo effect"},
                 {"no-replacing", "the effect has no replacing entry"},
                 {"programs", "its record declares 2000000000 programs"},
                 {"mono", "the effect has 1 input and 1 output; only a stereo effect"}};
    const auto before = listing();
    const std::string module = "--module '" + std::string(ODD_RECORD_MODULE) + "' ";
    for (const auto& item : cases) {
        const std::string odd = std::string("ODD_RECORD=") + item.kind + " ";
        expectRefused(shell(odd + CROSSFEED_RENDER + " " + module + "in.wav out.wav"), ODD_RECORD_MODULE, item.reason,
                      before, item.kind);
        expectRefused(shell(odd + CROSSFEED_RENDER + " " + module + "--response -"), ODD_RECORD_MODULE, item.reason,
                      before, std::string(item.kind) + " --response");
    }
    expectRefused(shell(std::string("ODD_RECORD=programs ") + CROSSFEED_RENDER + " " + module + "--list"),
                  ODD_RECORD_MODULE, "its record declares 2000000000 programs", before, "--list");
}

TEST_F(HostileInput, NamesOfAnyLengthOrCharacterStayWhole) {
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 1000, 27));
    std::string accents;
    for (int i = 0; i < 125; ++i) accents += "\xc3\xa9";  // é: its two bytes are never parted
    for (const std::string& name : {std::string(246, 'n') + ".wav", accents + ".wav"}) {
        const Outcome result = run("in.wav " + name);
        ASSERT_EQ(result.status, 0) << name.size() << "\n" << result.err;
        EXPECT_EQ(readFloats(dir / name).size(), 2000u);
    }
    // A newline in a name is shown escaped, so a failure stays one line.
    const auto before = listing();
    expectRefused(run("\"$(printf \"a\\nb.wav\")\" out.wav"), "a\\nb.wav", "No such file or directory", before,
                  "newline");
}

TEST_F(HostileInput, EverySignalThatEndsTheRenderRemovesItsTemporaryFile) {
    writeAudio(dir / "head.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 4410, 28));
    for (const int signal : {SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGALRM}) {
        int feed = -1;
        const pid_t child = renderStalled(dir, "out.wav", slurp(dir / "head.au"), feed);
        ASSERT_GT(child, 0);
        EXPECT_TRUE(appears(dir, ".out.wav.part-")) << signal;
        kill(child, signal);
        const int status = ended(child);
        close(feed);
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(listing(), (std::set<std::string>{"head.au"})) << signal;
    }
}

TEST_F(HostileInput, WhatTheLibrariesPrintComesAsOurLinesNeverIntoTheAudio) {
    ASSERT_EQ(shell("ffmpeg -loglevel error -f lavfi -i sine=d=2 -ac 2 -metadata title=Tune in.mp3").status, 0);
    std::string bytes = slurp(dir / "in.mp3");
    ASSERT_EQ(bytes.substr(0, 3), "ID3");
    // A tag size far beyond the file.
    std::string tag = bytes;
    tag.replace(6, 4, "\x7f\x7f\x7f\x7f");
    std::ofstream(dir / "tag.mp3", std::ios::binary) << tag;
    const auto before = listing();
    const Outcome badTag = run("tag.mp3 out.wav");
    expectRefused(badTag, "tag.mp3", "cannot read it as audio", before, "ID3 size");
    EXPECT_EQ(badTag.err.find("does not exist"), std::string::npos) << badTag.err;

    // Frames zeroed in the middle: the decoder's notes come as our lines.
    std::string garbled = bytes;
    garbled.replace(garbled.size() / 2, 600, std::string(600, '\0'));
    std::ofstream(dir / "garbled.mp3", std::ios::binary) << garbled;
    const Outcome noisy = run("--keep-partial garbled.mp3 out.wav");
    EXPECT_NE(noisy.err, "");
    std::istringstream lines(noisy.err);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.rfind("crossfeed-render: garbled.mp3: ", 0), 0u) << noisy.err;

    // A damaged MIDI sample dump, whose reader in libsndfile prints on
    // standard output, while the audio goes there.
    const unsigned char dump[] = {0xf0, 0x7e, 0x00, 0x01, 0x00, 0x00, 0x10, 0x48, 0x50, 0x07, 0x54, 0x43, 0x4f,
                                  0x4e, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x40, 0xff, 0xff, 0x1f,
                                  0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0xff, 0x38};
    std::ofstream(dir / "dump.sds", std::ios::binary).write(reinterpret_cast<const char*>(dump), sizeof dump);
    const Outcome piped = shell(std::string(CROSSFEED_RENDER) + " --type au dump.sds - | head -c 4");
    EXPECT_EQ(piped.out, ".snd");
}

}  // namespace
