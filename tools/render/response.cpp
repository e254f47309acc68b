#include "render/response.h"

#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <unistd.h>

#include "render/console.h"
#include "render/module_info.h"
#include "render/safe_write.h"
#include "render/sink.h"

namespace {

constexpr int kPointsPerDecade = 1000;
constexpr double kPi = 3.14159265358979323846;

// One impulse through a fresh effect on the given program.
void impulse(EffectInstance& effect, bool left, bool right, std::vector<double>& outLeft,
             std::vector<double>& outRight) {
    std::vector<float> inL(kImpulseLength, 0.0f), inR(kImpulseLength, 0.0f);
    std::vector<float> outL(kImpulseLength, 0.0f), outR(kImpulseLength, 0.0f);
    inL[0] = left ? 1.0f : 0.0f;
    inR[0] = right ? 1.0f : 0.0f;
    float* inputs[] = {inL.data(), inR.data()};
    float* outputs[] = {outL.data(), outR.data()};
    effect.power(true);
    effect.processReplacing(inputs, outputs, kImpulseLength);
    effect.power(false);  // clears the rings for the next impulse
    outLeft.assign(outL.begin(), outL.end());
    outRight.assign(outR.begin(), outR.end());
}

double magnitudeDb(const std::vector<double>& response, double frequency) {
    std::complex<double> sum = 0.0;
    const double step = -2.0 * kPi * frequency / kResponseRate;
    for (std::size_t n = 0; n < response.size(); ++n)
        if (response[n] != 0.0) sum += response[n] * std::polar(1.0, step * static_cast<double>(n));
    return 20.0 * std::log10(std::abs(sum));
}

}  // namespace

std::vector<double> responseFrequencies() {
    std::vector<double> frequencies;
    const int points = 3 * kPointsPerDecade;
    for (int i = 0; i <= points; ++i) frequencies.push_back(20.0 * std::pow(10.0, i / double(kPointsPerDecade)));
    return frequencies;
}

std::vector<ProgramResponse> measureResponses(const PluginModule& module, std::string& error) {
    std::vector<ProgramResponse> responses;
    EffectInstance probe(openEffect(module, error));
    if (!probe) return responses;
    const int programs = probe.record()->programCount;
    const auto frequencies = responseFrequencies();
    for (int program = 0; program < programs; ++program) {
        EffectInstance effect(openEffect(module, error));
        if (!effect) return {};
        ProgramResponse response;
        effect.setSampleRate(static_cast<float>(kResponseRate));
        effect.setBlockSize(kImpulseLength);
        effect.setProgram(program);
        response.name = effect.programName();
        std::vector<double> unused;
        impulse(effect, true, false, response.direct, response.cross);
        impulse(effect, true, true, response.centre, unused);
        for (double frequency : frequencies) response.centreDb.push_back(magnitudeDb(response.centre, frequency));
        responses.push_back(std::move(response));
    }
    return responses;
}

namespace {

// Names may hold commas or quotes; CSV quotes them.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string responseCsv(const std::vector<ProgramResponse>& responses) {
    std::ostringstream out;
    char number[64];
    out << "# Crossfeed responses measured through the module at 44100 Hz.\n"
           "# Table 1: magnitude in dB of a centred mono source (left = right input).\n"
           "frequency_hz";
    for (const auto& response : responses) out << ',' << csvField(response.name);
    out << '\n';
    const auto frequencies = responseFrequencies();
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        std::snprintf(number, sizeof number, "%.3f", frequencies[i]);
        out << number;
        for (const auto& response : responses) {
            std::snprintf(number, sizeof number, ",%.6f", response.centreDb[i]);
            out << number;
        }
        out << '\n';
    }
    // Two blank lines start a new data block for gnuplot's `index`.
    out << "\n\n# Table 2: impulse responses, an impulse on the left input: left output (direct),"
           " right output (cross).\nsample";
    for (const auto& response : responses)
        out << ',' << csvField(response.name + " direct") << ',' << csvField(response.name + " cross");
    out << '\n';
    for (int n = 0; n < kImpulseLength; ++n) {
        out << n;
        for (const auto& response : responses) {
            std::snprintf(number, sizeof number, ",%.9g,%.9g", response.direct[n], response.cross[n]);
            out << number;
        }
        out << '\n';
    }
    return out.str();
}

int writeResponse(const RenderOptions& options, const PluginModule& module, const std::string& modulePath) {
    std::string error, target;
    const std::string& path = options.response;
    if (path != "-" && !checkOutputTarget(path, options.force, target, error)) return fail(path, error);
    const auto responses = measureResponses(module, error);
    if (responses.empty()) return fail(modulePath, error);
    const std::string text = responseCsv(responses);
    // Standard output as it was given: appending stays appending.
    if (path == "-") {
        if (!writeAll(standardOutput(), text.data(), text.size())) return fail("standard output", std::strerror(errno));
        return 0;
    }
    TemporaryFile temporary;
    if (!temporary.create(target, error)) return fail(path, error);
    if (!writeAll(temporary.descriptor(), text.data(), text.size()))
        return fail(path, std::string("cannot write it completely: ") + std::strerror(errno));
    if (!temporary.commit(target, options.force, error)) return fail(path, error);
    return 0;
}
