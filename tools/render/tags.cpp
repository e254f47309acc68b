#include "render/tags.h"

#include <sndfile.h>
#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <memory>
#include <vector>

namespace {

struct Picture {
    TagLib::String mime, description;
    int type = 3;
    TagLib::ByteVector data;
};

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

void xiph(TagLib::Ogg::XiphComment* comment, const TagLib::PropertyMap& properties,
          const std::vector<Picture>& pictures, const std::string& note) {
    comment->setProperties(properties);
    for (const auto& picture : pictures) comment->addPicture(flacPicture(picture));
    comment->addField("ENCODER", TagLib::String(note, TagLib::String::UTF8), true);
}

}  // namespace

bool copyTags(const std::string& input, const std::string& output, int outputFormat, const std::string& note,
              std::string& error) {
    TagLib::PropertyMap properties;
    std::vector<Picture> pictures;
    TagLib::RIFF::Info::FieldListMap info;
    if (input != "-") {
        TagLib::FileRef source(input.c_str(), false);
        if (!source.isNull()) {
            properties = source.file()->properties();
            TagLib::File* file = source.file();
            if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
                picturesFromFlac(flac->pictureList(), pictures);
                if (flac->hasID3v2Tag()) picturesFromId3(flac->ID3v2Tag(), pictures);
            } else if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
                if (mpeg->hasID3v2Tag()) picturesFromId3(mpeg->ID3v2Tag(), pictures);
            } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
                if (wav->hasID3v2Tag()) picturesFromId3(wav->ID3v2Tag(), pictures);
                if (wav->hasInfoTag()) info = wav->InfoTag()->fieldListMap();
                // WAV's properties come from its ID3 chunk alone.
                if (properties.isEmpty() && wav->hasInfoTag()) properties = wav->InfoTag()->properties();
            } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
                if (aiff->hasID3v2Tag()) picturesFromId3(aiff->tag(), pictures);
            } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
                picturesFromFlac(vorbis->tag()->pictureList(), pictures);
            } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
                picturesFromFlac(opus->tag()->pictureList(), pictures);
            }
        }
    }
    // The input's encoder named what made the input, not this output.
    properties.erase("ENCODING");
    properties.erase("ENCODER");
    info.erase("ISFT");

    const char* path = output.c_str();
    bool saved = true;
    switch (outputFormat & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_FLAC: {
        TagLib::FLAC::File file(path, false);
        if (!file.isValid()) break;
        xiph(file.xiphComment(true), properties, {}, note);
        for (const auto& picture : pictures) file.addPicture(flacPicture(picture));
        saved = file.save();
        break;
    }
    case SF_FORMAT_OGG: {
        std::unique_ptr<TagLib::File> file;
        TagLib::Ogg::XiphComment* comment = nullptr;
        if ((outputFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS) {
            auto* opus = new TagLib::Ogg::Opus::File(path, false);
            file.reset(opus);
            comment = opus->tag();
        } else {
            auto* vorbis = new TagLib::Ogg::Vorbis::File(path, false);
            file.reset(vorbis);
            comment = vorbis->tag();
        }
        if (!file->isValid() || !comment) break;
        xiph(comment, properties, pictures, note);
        saved = file->save();
        break;
    }
    case SF_FORMAT_MPEG: {
        TagLib::MPEG::File file(path, false);
        if (!file.isValid()) break;
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        tag->setProperties(properties);
        id3Pictures(tag, pictures);
        id3Note(tag, note);
        saved = file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers);
        break;
    }
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX: {
        TagLib::RIFF::WAV::File file(path, false);
        if (!file.isValid()) break;
        TagLib::RIFF::Info::Tag* infoTag = file.InfoTag();
        if (info.isEmpty()) {
            infoTag->setTitle(properties["TITLE"].toString());
            infoTag->setArtist(properties["ARTIST"].toString());
            infoTag->setAlbum(properties["ALBUM"].toString());
            infoTag->setComment(properties["COMMENT"].toString());
            infoTag->setGenre(properties["GENRE"].toString());
        } else {
            for (const auto& field : info) infoTag->setFieldText(field.first, field.second);
        }
        infoTag->setFieldText("ISFT", TagLib::String(note, TagLib::String::UTF8));
        // An ID3 chunk only where the input had more than INFO holds.
        if (!pictures.empty() || info.isEmpty()) {
            TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
            tag->setProperties(properties);
            id3Pictures(tag, pictures);
            id3Note(tag, note);
        }
        saved = file.save();
        break;
    }
    case SF_FORMAT_AIFF: {
        TagLib::RIFF::AIFF::File file(path, false);
        if (!file.isValid()) break;
        TagLib::ID3v2::Tag* tag = file.tag();
        tag->setProperties(properties);
        id3Pictures(tag, pictures);
        id3Note(tag, note);
        saved = file.save();
        break;
    }
    default:
        break;  // no tags in this format
    }
    if (!saved) error = "cannot write its tags";
    return saved;
}
