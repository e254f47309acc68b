#include "render/tags.h"

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <cstring>
#include <memory>

#include "render/tag_stream.h"

namespace {

void picturesFromId3(const TagLib::ID3v2::Tag* tag, std::vector<Picture>& pictures) {
    if (!tag) return;
    for (const auto* frame : tag->frameList("APIC")) {
        const auto* apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (apic) pictures.push_back({apic->mimeType(), apic->description(), int(apic->type()), apic->picture()});
    }
}

void picturesFromFlac(const TagLib::List<TagLib::FLAC::Picture*>& list, std::vector<Picture>& pictures) {
    for (const auto* picture : list)
        pictures.push_back({picture->mimeType(), picture->description(), int(picture->type()), picture->data()});
}

TagLib::FLAC::Picture* flacPicture(const Picture& picture) {
    auto* made = new TagLib::FLAC::Picture;
    made->setMimeType(picture.mime);
    made->setDescription(picture.description);
    made->setType(static_cast<TagLib::FLAC::Picture::Type>(picture.type));
    made->setData(picture.data);
    return made;
}

void id3Pictures(TagLib::ID3v2::Tag* tag, const std::vector<Picture>& pictures) {
    for (const auto& picture : pictures) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setMimeType(picture.mime);
        frame->setDescription(picture.description);
        frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(picture.type));
        frame->setPicture(picture.data);
        tag->addFrame(frame);
    }
}

void id3Note(TagLib::ID3v2::Tag* tag, const std::string& note) {
    tag->removeFrames("TSSE");
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TSSE", TagLib::String::UTF8);
    frame->setText(TagLib::String(note, TagLib::String::UTF8));
    tag->addFrame(frame);
}

void id3All(TagLib::ID3v2::Tag* tag, const SourceTags& tags, const std::string& note) {
    tag->setProperties(tags.properties);
    id3Pictures(tag, tags.pictures);
    id3Note(tag, note);
}

void xiph(TagLib::Ogg::XiphComment* comment, const SourceTags& tags, bool pictures, const std::string& note) {
    comment->setProperties(tags.properties);
    if (pictures)
        for (const auto& picture : tags.pictures) comment->addPicture(flacPicture(picture));
    comment->addField("ENCODER", TagLib::String(note, TagLib::String::UTF8), true);
}

bool saveFlac(TagLib::IOStream* stream, const SourceTags& tags, const std::string& note) {
    TagLib::FLAC::File file(stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid()) return true;
    xiph(file.xiphComment(true), tags, false, note);
    for (const auto& picture : tags.pictures) file.addPicture(flacPicture(picture));
    return file.save();
}

bool saveOgg(TagLib::IOStream* stream, bool opus, const SourceTags& tags, const std::string& note) {
    std::unique_ptr<TagLib::File> file;
    TagLib::Ogg::XiphComment* comment = nullptr;
    if (opus) {
        auto* made = new TagLib::Ogg::Opus::File(stream, false);
        file.reset(made);
        comment = made->tag();
    } else {
        auto* made = new TagLib::Ogg::Vorbis::File(stream, false);
        file.reset(made);
        comment = made->tag();
    }
    if (!file->isValid() || !comment) return true;
    xiph(comment, tags, true, note);
    return file->save();
}

bool saveMpeg(TagLib::IOStream* stream, const SourceTags& tags, const std::string& note) {
    TagLib::MPEG::File file(stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid()) return true;
    id3All(file.ID3v2Tag(true), tags, note);
    return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers);
}

bool saveWav(TagLib::IOStream* stream, const SourceTags& tags, const std::string& note, std::string& dropped) {
    TagLib::RIFF::WAV::File file(stream, false);
    if (!file.isValid()) {
        if (!tags.properties.isEmpty() || !tags.pictures.empty() || !tags.info.isEmpty())
            dropped = "tags are not copied into RF64";
        return true;
    }
    TagLib::RIFF::Info::Tag* infoTag = file.InfoTag();
    const TagLib::PropertyMap& properties = tags.properties;
    if (tags.info.isEmpty()) {
        infoTag->setTitle(properties["TITLE"].toString());
        infoTag->setArtist(properties["ARTIST"].toString());
        infoTag->setAlbum(properties["ALBUM"].toString());
        infoTag->setComment(properties["COMMENT"].toString());
        infoTag->setGenre(properties["GENRE"].toString());
    } else {
        for (const auto& field : tags.info) infoTag->setFieldText(field.first, field.second);
    }
    infoTag->setFieldText("ISFT", TagLib::String(note, TagLib::String::UTF8));
    // An ID3 chunk only where the input had more than INFO holds.
    if (!tags.pictures.empty() || tags.info.isEmpty()) id3All(file.ID3v2Tag(), tags, note);
    return file.save();
}

bool saveAiff(TagLib::IOStream* stream, const SourceTags& tags, const std::string& note) {
    TagLib::RIFF::AIFF::File file(stream, false);
    if (!file.isValid()) return true;
    id3All(file.tag(), tags, note);
    return file.save();
}

}  // namespace

SourceTags tagsOf(TagLib::File* file) {
    SourceTags tags;
    tags.properties = file->properties();
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        picturesFromFlac(flac->pictureList(), tags.pictures);
        if (flac->hasID3v2Tag()) picturesFromId3(flac->ID3v2Tag(), tags.pictures);
    } else if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        if (mpeg->hasID3v2Tag()) picturesFromId3(mpeg->ID3v2Tag(), tags.pictures);
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        if (wav->hasID3v2Tag()) picturesFromId3(wav->ID3v2Tag(), tags.pictures);
        if (wav->hasInfoTag()) tags.info = wav->InfoTag()->fieldListMap();
        // WAV's properties come from its ID3 chunk alone.
        if (tags.properties.isEmpty() && wav->hasInfoTag()) tags.properties = wav->InfoTag()->properties();
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        if (aiff->hasID3v2Tag()) picturesFromId3(aiff->tag(), tags.pictures);
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        picturesFromFlac(vorbis->tag()->pictureList(), tags.pictures);
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
        picturesFromFlac(opus->tag()->pictureList(), tags.pictures);
    }
    return tags;
}

SourceTags tagsOfFile(const std::string& path) {
    TagLib::FileRef source(path.c_str(), false);
    if (source.isNull()) return {};
    return tagsOf(source.file());
}

SourceTags tagsOfStream(SNDFILE* input) {
    static const struct {
        int kind;
        const char* key;
    } kStrings[] = {{SF_STR_TITLE, "TITLE"},     {SF_STR_ARTIST, "ARTIST"},   {SF_STR_ALBUM, "ALBUM"},
                    {SF_STR_DATE, "DATE"},       {SF_STR_TRACKNUMBER, "TRACKNUMBER"}, {SF_STR_GENRE, "GENRE"},
                    {SF_STR_COMMENT, "COMMENT"}, {SF_STR_COPYRIGHT, "COPYRIGHT"}, {SF_STR_LICENSE, "LICENSE"}};
    SourceTags tags;
    for (const auto& string : kStrings) {
        const char* text = sf_get_string(input, string.kind);
        if (text && *text) tags.properties.insert(string.key, TagLib::String(text, TagLib::String::UTF8));
    }
    return tags;
}

bool writeTags(int descriptor, const std::string& name, int outputFormat, const SourceTags& source,
               const std::string& note, std::string& dropped, std::string& error) {
    SourceTags tags = source;
    // The input's encoder named what made the input, not this output.
    tags.properties.erase("ENCODING");
    tags.properties.erase("ENCODER");
    tags.info.erase("ISFT");

    TagStream stream(descriptor, name);
    bool saved = true;
    switch (outputFormat & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_FLAC: saved = saveFlac(&stream, tags, note); break;
    case SF_FORMAT_OGG:
        saved = saveOgg(&stream, (outputFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS, tags, note);
        break;
    case SF_FORMAT_MPEG: saved = saveMpeg(&stream, tags, note); break;
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64: saved = saveWav(&stream, tags, note, dropped); break;
    case SF_FORMAT_AIFF: saved = saveAiff(&stream, tags, note); break;
    default: break;  // no tags in this format
    }
    if (saved && stream.error() == 0) return true;
    error = "cannot write its tags";
    if (stream.error()) error += std::string(": ") + std::strerror(stream.error());
    return false;
}
