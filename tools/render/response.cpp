#include "render/response.h"

#include <cerrno>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <unistd.h>

#include "render/console.h"
#include "render/delay_text.h"
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

double magnitudeDb(const std::vector<double>& response, double frequency, double rate) {
    std::complex<double> sum = 0.0;
    const double step = -2.0 * kPi * frequency / rate;
    for (std::size_t n = 0; n < response.size(); ++n)
        if (response[n] != 0.0) sum += response[n] * std::polar(1.0, step * static_cast<double>(n));
    return 20.0 * std::log10(std::abs(sum));
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

int ProgramResponse::delaySamples() const {
    for (std::size_t n = 0; n < cross.size(); ++n)
        if (cross[n] != 0.0) return static_cast<int>(n);
    return -1;
}

double ProgramResponse::centreDbAt(double frequency, double rate) const {
    return magnitudeDb(centre, frequency, rate);
}

double ProgramResponse::averageDb() const {
    double energy = 0.0;
    for (double sample : centre) energy += sample * sample;
    return 10.0 * std::log10(energy);
}

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
    const int programs = probe.programCount();
    const auto frequencies = responseFrequencies();
    for (int program = 0; program < programs; ++program) {
        EffectInstance effect(openEffect(module, error));
        if (!effect) return {};
        ProgramResponse response;
        effect.setBlockSize(kImpulseLength);
        effect.setProgram(program);
        response.name = effect.programName();
        response.levelShown = trimmed(effect.parameterDisplay(crossfeed::kLevelParameter));
        response.delayShown = trimmed(effect.parameterDisplay(crossfeed::kDelayParameter));
        std::vector<double> unused;
        for (int rate = 0; rate < kRateCount; ++rate) {
            effect.setSampleRate(static_cast<float>(kResponseRates[rate]));
            impulse(effect, true, false, response.direct, response.cross);
            impulse(effect, true, true, response.centre, unused);
            for (double frequency : frequencies)
                response.centreDb[rate].push_back(magnitudeDb(response.centre, frequency, kResponseRates[rate]));
        }
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

namespace {

void magnitudeTable(std::ostringstream& out, const std::vector<ProgramResponse>& responses, int rate) {
    char number[64];
    out << "frequency_hz";
    for (const auto& response : responses) out << ',' << csvField(response.name);
    out << '\n';
    const auto frequencies = responseFrequencies();
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        std::snprintf(number, sizeof number, "%.3f", frequencies[i]);
        out << number;
        for (const auto& response : responses) {
            std::snprintf(number, sizeof number, ",%.6f", response.centreDb[rate][i]);
            out << number;
        }
        out << '\n';
    }
}

void impulseTable(std::ostringstream& out, const std::vector<ProgramResponse>& responses) {
    char number[64];
    out << "sample";
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
}

// A two-tap comb: a centred source's level swings between the sum and the
// difference of the taps, with its first notch at rate / (2 delay) Hz; what
// the ear takes in where the notches crowd is the average.
void summaryTable(std::ostringstream& out, const std::vector<ProgramResponse>& responses) {
    out << "program,level_shown,delay_shown_ms,delay_samples,delay_ms_44100,delay_ms_48000,direct_db,cross_db,"
           "level_20hz_db_44100,level_20hz_db_48000,first_notch_hz_44100,first_notch_hz_48000,notch_db,"
           "notch_every_hz_44100,notch_every_hz_48000,average_db\n";
    char number[64];
    for (const auto& response : responses) {
        const int delay = response.delaySamples();
        out << csvField(response.name) << ',' << response.levelShown << ',' << response.delayShown << ',' << delay;
        if (delay <= 0) {
            out << '\n';
            continue;
        }
        out << ',' << millisecondsAt(delay, kResponseRates[0]) << ',' << millisecondsAt(delay, kResponseRates[1]);
        std::snprintf(number, sizeof number, ",%.2f,%.2f,%.2f,%.2f", 20.0 * std::log10(response.direct[0]),
                      20.0 * std::log10(response.cross[std::size_t(delay)]), response.centreDbAt(20.0, 44100.0),
                      response.centreDbAt(20.0, 48000.0));
        out << number;
        const double notch = kResponseRates[0] / (2.0 * delay), notch48 = kResponseRates[1] / (2.0 * delay);
        std::snprintf(number, sizeof number, ",%.1f,%.1f,%.2f,%.1f,%.1f,%.2f\n", notch, notch48,
                      response.centreDbAt(notch, kResponseRates[0]), 2.0 * notch, 2.0 * notch48,
                      response.averageDb());
        out << number;
    }
}

}  // namespace

std::string responseCsv(const std::vector<ProgramResponse>& responses) {
    std::ostringstream out;
    // Blank lines part the tables, for gnuplot's `index`.
    out << "# Crossfeed responses measured through the module.\n"
           "# Table 1: magnitude in dB of a centred mono source (left = right input) at 44100 Hz.\n";
    magnitudeTable(out, responses, 0);
    out << "\n\n# Table 2: impulse responses, an impulse on the left input: left output (direct),"
           " right output (cross).\n";
    impulseTable(out, responses);
    out << "\n\n# Table 3: magnitude in dB of a centred mono source at 48000 Hz.\n";
    magnitudeTable(out, responses, 1);
    out << "\n\n# Table 4: each program in numbers: the module's texts, the delay in samples and in ms at"
           " 44.1 and 48 kHz, the taps, a centred source's level at 20 Hz, and its comb's notches.\n";
    summaryTable(out, responses);
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
        return printOut(text);
    }
    TemporaryFile temporary;
    if (!temporary.create(target, error)) return fail(path, error);
    if (!writeAll(temporary.descriptor(), text.data(), text.size()))
        return fail(path, std::string("cannot write it completely: ") + std::strerror(errno));
    if (!temporary.commit(target, options.force, error)) return fail(path, error);
    return 0;
}
