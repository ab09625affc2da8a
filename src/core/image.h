// SPDX-License-Identifier: GPL-3.0-or-later
// Image kinds, coordinate systems, the image buffer and identification.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/message.h"

namespace carillon {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

enum class ImageKind : std::uint8_t {
    FullFlash = 0,  // whole flash, >= 400000 bytes
    EepromBin = 1,  // EEPROM area from flash offset 0x3A0000 on, < 400000 bytes
    EepromEep = 2,  // ".eep"/".ee_" record chain
};

// ".bin Full Flash", ".bin EEPROM" or ".eep EEPROM".
Message KindMessage(ImageKind kind);
std::string_view KindText(ImageKind kind);

// --- Coordinates --------------------------------------------------------------------------
// flash offset: offset in a full-flash image;
// phone address: flash offset + 0xC00000 (block headers store these);
// image offset: flash offset (kind 0), flash offset - 0x3A0000 (kind 1), file offset (kind 2).
inline constexpr std::int64_t kFlashBase = 0xC00000;
inline constexpr std::int64_t kEepromImageBase = 0x3A0000;
inline constexpr std::int64_t kSectorSize = 0x20000;
inline constexpr std::int64_t kEepromSectorCount = 3;
inline constexpr std::size_t kFullFlashThreshold = 400000;

constexpr std::int64_t PhoneAddressToFlashOffset(std::int64_t phone) {
    return phone - kFlashBase;
}
constexpr std::int64_t FlashOffsetToPhoneAddress(std::int64_t flash) {
    return flash + kFlashBase;
}
constexpr std::int64_t FlashOffsetToImageOffset(ImageKind kind, std::int64_t flash) {
    return kind == ImageKind::EepromBin ? flash - kEepromImageBase : flash;
}
constexpr std::int64_t ImageOffsetToFlashOffset(ImageKind kind, std::int64_t image) {
    return kind == ImageKind::EepromBin ? image + kEepromImageBase : image;
}
constexpr std::int64_t PhoneAddressToImageOffset(ImageKind kind, std::int64_t phone) {
    return FlashOffsetToImageOffset(kind, PhoneAddressToFlashOffset(phone));
}

// Addresses as the user sees them: upper-case hexadecimal, at least six digits, no prefix.
// Negative values show their 32-bit two's complement pattern.
std::string FormatAddress(std::int64_t value);

// True when [offset, offset + count) lies inside an image of `size` bytes.
constexpr bool InImage(std::int64_t offset, std::int64_t count, std::size_t size) {
    return offset >= 0 && count >= 0 && offset <= static_cast<std::int64_t>(size) &&
           count <= static_cast<std::int64_t>(size) - offset;
}

// Little-endian reads; the caller has checked the bounds with InImage.
inline std::uint16_t ReadU16(ByteView bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
inline std::uint32_t ReadU32(ByteView bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// --- The image buffer ---------------------------------------------------------------------
// Every operation that needs the opened image reads the file again, whole, into the start of
// this buffer. It holds exactly ten million bytes (decimal); the bytes past the file's length
// keep whatever an earlier, longer file left there. A longer file is refused before any byte
// of the buffer changes.
inline constexpr std::size_t kImageBufferSize = 10'000'000;

class ImageBuffer {
  public:
    ImageBuffer();

    // Reads the file at `path` whole into the start of the buffer (opened read-only).
    // Throws FileError; a file over kImageBufferSize bytes leaves the buffer untouched.
    void Load(const std::string& path);

    // The image string: exactly the bytes of the file last read.
    ByteView Image() const { return {data_.data(), length_}; }
    std::size_t Length() const { return length_; }
    // The whole buffer, including what lies beyond the last file.
    ByteView Raw() const { return data_; }

  private:
    std::vector<std::uint8_t> data_;
    std::size_t length_ = 0;
};

// --- Identification -----------------------------------------------------------------------
// Kind 0; kind 1 below 400000 bytes; kind 2 when the last four characters of the path,
// lower-cased (A..Z only), are ".eep" or ".ee_".
ImageKind DecideKind(std::string_view path, std::size_t length);

// True for a path whose last four characters lower-case to ".eep" (not ".ee_").
bool EndsWithEep(std::string_view path);

// True for a path named as an image is: ".fls", ".bin", ".eep" or ".ee_", in any letter case.
bool HasImageExtension(std::string_view path);

struct ImageInfo {
    ImageKind kind = ImageKind::FullFlash;
    std::string phone = "-";                  // bytes 780..782 of a full flash, "-" otherwise
    std::string version = "-";                // decimal byte 258 of a full flash, "-" otherwise
    std::optional<std::uint8_t> versionByte;  // the raw byte, full flash only
};

inline constexpr std::size_t kPhoneModelOffset = 780;
inline constexpr std::size_t kVersionOffset = 258;

ImageInfo Identify(std::string_view path, ByteView image);

}  // namespace carillon
