// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image.h"

#include <cstdio>

#include "core/file_io.h"

namespace carillon {

Message KindMessage(ImageKind kind) {
    switch (kind) {
        case ImageKind::FullFlash:
            return Message(MessageId::KindFullFlash);
        case ImageKind::EepromBin:
            return Message(MessageId::KindEepromBin);
        case ImageKind::EepromEep:
            return Message(MessageId::KindEep);
    }
    return {};
}

std::string_view KindText(ImageKind kind) {
    const Message m = KindMessage(kind);
    return m.empty() ? std::string_view() : EnglishPattern(m.id());
}

std::string FormatAddress(std::int64_t value) {
    char text[24];
    const auto pattern = static_cast<std::uint64_t>(value) & 0xFFFFFFFFULL;
    std::snprintf(text, sizeof text, "%06llX", static_cast<unsigned long long>(pattern));
    return text;
}

ImageBuffer::ImageBuffer() : data_(kImageBufferSize, 0) {}

void ImageBuffer::Load(const std::string& path) {
    length_ = ReadWholeFileInto(path, data_.data(), data_.size());
}

namespace {

std::string LastFourLowered(std::string_view path) {
    std::string tail;
    for (std::size_t i = path.size() >= 4 ? path.size() - 4 : 0; i < path.size(); ++i) {
        const char c = path[i];
        tail += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return tail;
}

}  // namespace

bool EndsWithEep(std::string_view path) {
    return LastFourLowered(path) == ".eep";
}

bool HasImageExtension(std::string_view path) {
    const std::string tail = LastFourLowered(path);
    return tail == ".fls" || tail == ".bin" || tail == ".eep" || tail == ".ee_";
}

ImageKind DecideKind(std::string_view path, std::size_t length) {
    ImageKind kind = ImageKind::FullFlash;
    if (length < kFullFlashThreshold) {
        kind = ImageKind::EepromBin;
    }
    const std::string tail = LastFourLowered(path);
    if (tail == ".eep" || tail == ".ee_") {
        kind = ImageKind::EepromEep;
    }
    return kind;
}

ImageInfo Identify(std::string_view path, ByteView image) {
    ImageInfo info;
    info.kind = DecideKind(path, image.size());
    if (info.kind == ImageKind::FullFlash && InImage(kPhoneModelOffset, 3, image.size())) {
        info.phone.assign(reinterpret_cast<const char*>(image.data() + kPhoneModelOffset), 3);
        info.versionByte = image[kVersionOffset];
        info.version = std::to_string(*info.versionByte);
    }
    return info;
}

}  // namespace carillon
