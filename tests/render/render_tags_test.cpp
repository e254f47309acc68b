// Tags and pictures carried from input to output, and what is not carried
// because the crossfeed made it untrue.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "crossfeed/descriptor.h"
#include "render/render_support.h"
#include "support/module_under_test.h"

namespace fs = std::filesystem;

namespace {

using namespace render_support;

using RenderTags = RenderFolder;

// The fields of a WAV file's RIFF INFO list, by their four-letter names.
std::map<std::string, std::string> infoFields(const fs::path& path) {
    const std::string bytes = slurp(path);
    auto size = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + std::size_t(i)]);
        return std::size_t(value);
    };
    std::map<std::string, std::string> fields;
    for (std::size_t at = 12; at + 8 <= bytes.size(); at += 8 + size(at + 4) + (size(at + 4) & 1)) {
        if (bytes.compare(at, 4, "LIST") != 0 || bytes.compare(at + 8, 4, "INFO") != 0) continue;
        const std::size_t end = std::min(bytes.size(), at + 8 + size(at + 4));
        for (std::size_t field = at + 12; field + 8 <= end; field += 8 + size(field + 4) + (size(field + 4) & 1)) {
            const std::string text = bytes.substr(field + 8, size(field + 4));
            fields[bytes.substr(field, 4)] = text.substr(0, text.find('\0'));
        }
    }
    return fields;
}

TEST_F(RenderTags, TagsAndPicturesTravelWithTheAudio) {
    writeAudio(dir / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, noise(2 * 4410, 2));
    // A small PNG-signature picture; metaflac stores the bytes and sizes as given.
    std::ofstream(dir / "cover.png", std::ios::binary) << std::string("\x89PNG\r\n\x1a\n", 8) << std::string(300, 'p');
    // A script, since the shell line is quoted already.
    std::ofstream(dir / "tag.sh") << "metaflac --remove-all-tags --set-tag=TITLE=Song --set-tag=ARTIST=Band "
                                     "--set-tag=ALBUM=Record --set-tag=DATE=1999 --set-tag=TRACKNUMBER=3 "
                                     "'--set-tag=REPLAYGAIN_TRACK_GAIN=-6.5 dB' --set-tag=REPLAYGAIN_ALBUM_PEAK=0.9 "
                                     "--set-tag=MOOD=calm --set-tag=COMMENT=mine "
                                     "'--import-picture-from=3|image/png|front|500x500x24/7|cover.png' in.flac\n";
    const Outcome tagged = shell("sh tag.sh");
    ASSERT_EQ(tagged.status, 0) << tagged.err;
    const Outcome flac = run("--program 1 in.flac out.flac");
    ASSERT_EQ(flac.status, 0) << flac.err;
    // ReplayGain measured the input's level, which the crossfeed changed.
    EXPECT_NE(flac.err.find("out.flac: ReplayGain tags not copied, as the crossfeed changed the level"),
              std::string::npos)
        << flac.err;
    const Outcome exported = shell("metaflac --export-tags-to=- out.flac");
    const std::string note = "crossfeed-render " + std::string(crossfeed::versionText(crossfeed::kVersion).text) +
                             ": crossfeed program \"Lounge room\", delay 71 samples = 1.61 ms at 44100 Hz";
    for (const std::string& tag : std::vector<std::string>{"TITLE=Song", "ARTIST=Band", "ALBUM=Record", "DATE=1999", "TRACKNUMBER=3",
                                  "MOOD=calm", "COMMENT=mine", "ENCODER=" + note})
        EXPECT_NE(exported.out.find(tag + "\n"), std::string::npos) << tag << "\n" << exported.out;
    EXPECT_EQ(exported.out.find("REPLAYGAIN"), std::string::npos) << exported.out;
    ASSERT_EQ(shell("metaflac --export-picture-to=cover-out.png out.flac").status, 0);
    EXPECT_EQ(slurp(dir / "cover-out.png"), slurp(dir / "cover.png"));
    const Outcome picture = shell("metaflac --list --block-type=PICTURE out.flac");
    for (const char* line : {"width: 500\n", "height: 500\n", "depth: 24\n", "colors: 7\n"})
        EXPECT_NE(picture.out.find(line), std::string::npos) << line << picture.out;

    // FLAC into WAV: RIFF INFO holds the common tags, date and track too.
    ASSERT_EQ(run("in.flac flac.wav").status, 0);
    const auto fields = infoFields(dir / "flac.wav");
    const std::map<std::string, std::string> expected = {
        {"INAM", "Song"}, {"IART", "Band"}, {"IPRD", "Record"}, {"ICRD", "1999"}, {"ITRK", "3"}, {"ICMT", "mine"}};
    for (const auto& [field, text] : expected) {
        const auto found = fields.find(field);
        EXPECT_TRUE(found != fields.end() && found->second == text) << field;
    }
    EXPECT_EQ(fields.count("ISFT"), 1u);

    // ID3 from an MP3 that ffmpeg made, into FLAC; RIFF INFO into WAV.
    ASSERT_EQ(shell("ffmpeg -loglevel error -f lavfi -i sine=d=0.5 -ac 2 -metadata title=Tune -metadata artist=Player "
                    "in.mp3").status, 0);
    ASSERT_EQ(run("in.mp3 mp3.flac").status, 0);
    const Outcome fromMp3 = shell("metaflac --export-tags-to=- mp3.flac");
    EXPECT_NE(fromMp3.out.find("TITLE=Tune\n"), std::string::npos) << fromMp3.out;
    EXPECT_NE(fromMp3.out.find("ARTIST=Player\n"), std::string::npos) << fromMp3.out;
    ASSERT_EQ(shell("ffmpeg -loglevel error -f lavfi -i sine=d=0.5 -ac 2 -metadata title=Take -metadata artist=Crew "
                    "-metadata comment=theirs in.wav").status, 0);
    ASSERT_EQ(run("in.wav out.wav").status, 0);
    const Outcome info = shell("ffprobe -loglevel error -show_entries format_tags -of default=nw=1 out.wav");
    for (const char* tag : {"TAG:title=Take", "TAG:artist=Crew", "TAG:comment=theirs", "TAG:encoder=crossfeed-render"})
        EXPECT_NE(info.out.find(tag), std::string::npos) << tag << "\n" << info.out;
}

}  // namespace
