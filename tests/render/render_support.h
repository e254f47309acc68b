// What both renderer suites need: running a command, reading its output
// files, making audio files, and the module's own processing to compare with.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/module_under_test.h"

namespace render_support {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Integer files clip what lies beyond full scale rather than wrapping.
inline void writeAudio(const fs::path& path, int format, int channels, int rate, const std::vector<float>& samples) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    ASSERT_EQ(sf_writef_float(file, samples.data(), sf_count_t(samples.size()) / channels),
              sf_count_t(samples.size()) / channels);
    sf_close(file);
}

// Interleaved samples of a file, empty when it cannot be read.
inline std::vector<float> readFloats(const fs::path& path, SF_INFO* info = nullptr) {
    SF_INFO local{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &local);
    if (!file) return {};
    std::vector<float> samples(std::size_t(local.frames) * std::size_t(local.channels));
    sf_readf_float(file, samples.data(), local.frames);
    sf_close(file);
    if (info) *info = local;
    return samples;
}

// The module driven directly, in one call, as the reference for a render.
inline std::vector<float> processDirectly(const std::vector<float>& stereo, int program, float level = NAN,
                                   float delay = NAN) {
    const std::size_t frames = stereo.size() / 2;
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        inL[i] = stereo[2 * i];
        inR[i] = stereo[2 * i + 1];
    }
    EffectInstance effect = newEffect();
    effect.setSampleRate(44100.0f);
    effect.power(true);
    effect.setProgram(program);
    if (!std::isnan(level)) effect.setParameter(0, level);
    if (!std::isnan(delay)) effect.setParameter(1, delay);
    float* inputs[] = {inL.data(), inR.data()};
    float* outputs[] = {outL.data(), outR.data()};
    effect.processReplacing(inputs, outputs, std::int32_t(frames));
    std::vector<float> result(stereo.size());
    for (std::size_t i = 0; i < frames; ++i) {
        result[2 * i] = outL[i];
        result[2 * i + 1] = outR[i];
    }
    return result;
}

// The renderer reading standard input from a pipe, in `dir`, writing `output`.
// `head` is written into the pipe, which is then left open: an AU header
// that gives no length makes the renderer wait for more, mid-file.
inline pid_t renderStalled(const fs::path& dir, const std::string& output, const std::string& head, int& feed) {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        close(ends[1]);
        if (chdir(dir.c_str()) != 0) _exit(127);
        execl(CROSSFEED_RENDER, CROSSFEED_RENDER, "-", output.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[0]);
    feed = ends[1];
    std::string stream = head;
    stream[8] = stream[9] = stream[10] = stream[11] = char(0xff);
    if (child < 0 || write(feed, stream.data(), stream.size()) != ssize_t(stream.size())) return -1;
    return child;
}

// Whether a file whose name begins with `prefix` appears in `dir` within five seconds.
inline bool appears(const fs::path& dir, const std::string& prefix) {
    for (int i = 0; i < 500; ++i) {
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The child's wait status once it ends, within five seconds; a child that
// does not end is killed, and then -1 (neither an exit nor a signal) is returned.
inline int ended(pid_t child) {
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (waitpid(child, &status, WNOHANG) == child) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
}

// A test with a folder of its own, removed afterwards, and a way to run a
// command line with its output and errors captured.
class RenderFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/render-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        dir = root / "files";
        fs::create_directory(dir);
    }
    void TearDown() override { fs::remove_all(root); }

    Outcome capture(const std::string& command) {
        const std::string line =
            command + " >'" + (root / "out").string() + "' 2>'" + (root / "err").string() + "'";
        Outcome result;
        const int status = std::system(line.c_str());
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = slurp(root / "out");
        result.err = slurp(root / "err");
        return result;
    }

    // `line` goes through the shell in the folder, with a time limit on the whole line.
    Outcome shell(const std::string& line) {
        return capture("cd '" + dir.string() + "' && timeout 60 sh -c '" + line + "'");
    }
    Outcome run(const std::string& arguments) { return shell(std::string(CROSSFEED_RENDER) + " " + arguments); }

    std::set<std::string> listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
        return names;
    }

    fs::path root, dir;
};

}  // namespace render_support
