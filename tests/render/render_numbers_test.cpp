// The numbers a listener reads: what --list, the tags, the summary lines,
// the response measurement, the README and the manual page say of each
// program and its delay, against one another and against what the module does.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "crossfeed/descriptor.h"
#include "render/render_support.h"
#include "support/module_under_test.h"

namespace fs = std::filesystem;

namespace {

using namespace render_support;

using RenderNumbers = RenderWholePaths;

TEST_F(RenderNumbers, ListShowsTheModulesTextsAndTheDelayHeard) {
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

TEST_F(RenderNumbers, TheDelayAtTheFilesRateIsSaidAndTagged) {
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

TEST_F(RenderNumbers, ResponseMeasuresTheCombOfACentredSourceAtBothRates) {
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

TEST_F(RenderNumbers, TheReadmeAndTheManualPageSayWhatTheToolMeasures) {
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
