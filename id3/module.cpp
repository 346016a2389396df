// SPDX-License-Identifier: GPL-3.0-or-later
#include "id3/module.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>

namespace {

// What a parse hands over: the values and the texts they point into.
struct Storage
{
    std::vector<QuorilId3v2Value> values;
    std::deque<std::string> texts; // a deque never moves what it holds
};

const std::string &kept(Storage &storage, const TagLib::String &text)
{
    return storage.texts.emplace_back(text.to8Bit(true));
}

void add(Storage &storage, const TagLib::ID3v2::Frame &frame, int kind, const TagLib::String &text,
         const TagLib::String &description = {})
{
    QuorilId3v2Value value{};
    const TagLib::ByteVector id = frame.frameID();
    std::memcpy(value.frame, id.data(), std::min<size_t>(id.size(), 4));
    value.kind = kind;
    const std::string &t = kept(storage, text);
    value.text = t.data();
    value.textSize = t.size();
    const std::string &d = kept(storage, description);
    value.description = d.data();
    value.descriptionSize = d.size();
    storage.values.push_back(value);
}

int parse(const char *tag, size_t size, QuorilId3v2Values *out)
{
    TagLib::ByteVectorStream stream(TagLib::ByteVector(tag, unsigned(size)));
    TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    const TagLib::ID3v2::Tag *parsed = mpeg.ID3v2Tag(false);
    if (!parsed)
        return QuorilId3v2NoTag;
    auto storage = std::make_unique<Storage>();
    for (const TagLib::ID3v2::Frame *frame : parsed->frameList()) {
        if (const auto *text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame *>(frame))
            for (const TagLib::String &value : text->fieldList())
                add(*storage, *frame, QuorilId3v2TextFrame, value);
        else if (const auto *c = dynamic_cast<const TagLib::ID3v2::CommentsFrame *>(frame))
            add(*storage, *frame, QuorilId3v2CommentFrame, c->text(), c->description());
        else
            add(*storage, *frame, QuorilId3v2OtherFrame, frame->toString());
    }
    *out = {storage->values.data(), storage->values.size(), storage.get()};
    storage.release();
    return QuorilId3v2Parsed;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int quorilId3v2Parse(const char *tag, size_t size,
                                                                       QuorilId3v2Values *out)
{
    *out = {nullptr, 0, nullptr};
    try {
        return parse(tag, size, out);
    } catch (...) {
        return QuorilId3v2Failed;
    }
}

extern "C" __attribute__((visibility("default"))) void quorilId3v2Release(QuorilId3v2Values *values)
{
    delete static_cast<Storage *>(values->owner);
    *values = {nullptr, 0, nullptr};
}

extern "C" __attribute__((visibility("default"))) size_t quorilId3v2Genre(int index, char *buffer,
                                                                          size_t size)
{
    try {
        const std::string name = TagLib::ID3v1::genre(index).to8Bit(true);
        if (size == 0)
            return 0;
        const size_t n = std::min(name.size(), size - 1);
        std::memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
        return name.size();
    } catch (...) {
        return 0;
    }
}
