// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/partial_image.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "search/block_header.h"

namespace carillon {
namespace {

constexpr std::uint64_t kChunk = 16 * 1024;
constexpr std::uintptr_t kLargePage = 2 << 20;

}  // namespace

PartialImage::PartialImage(const InputFile& file, std::optional<std::uint8_t> fill)
    : file_(&file),
      fill_(fill),
      size_(file.size()),
      loaded_((file.size() + kChunk - 1) / kChunk, false) {
    Allocate(size_);
}

void PartialImage::Allocate(std::uint64_t size) {
    // 2 MiB more than needed, so that the buffer can start at a large-page boundary; pages
    // never touched cost nothing.
    block_.reset(static_cast<std::uint8_t*>(
        std::calloc(static_cast<std::size_t>(size) + 1 + kLargePage, 1)));
    if (!block_) {
        throw std::bad_alloc();
    }
    const auto at = reinterpret_cast<std::uintptr_t>(block_.get());
    data_ = block_.get() + (((at + kLargePage - 1) & ~(kLargePage - 1)) - at);
    if (fill_) {
        std::memset(data_, *fill_, static_cast<std::size_t>(size));
    }
    capacity_ = size;
}

void PartialImage::Reset(const InputFile& file) {
    file_ = &file;
    if (file.size() > capacity_) {
        Allocate(file.size());
    } else {
        for (std::size_t c = 0; c < loaded_.size(); ++c) {
            if (loaded_[c]) {
                const std::uint64_t from = c * kChunk;
                std::memset(data_ + from, fill_.value_or(0),
                            static_cast<std::size_t>(std::min(kChunk, size_ - from)));
            }
        }
    }
    size_ = file.size();
    loaded_.assign((size_ + kChunk - 1) / kChunk, false);
    bytesRead_ = 0;
}

void PartialImage::Ensure(std::uint64_t offset, std::size_t count) {
    if (count == 0) {
        return;
    }
    if (offset > size_ || count > size_ - offset) {
        // The reader refuses it with the path and the range.
        file_->ReadAt(offset, data_, count);
    }
    for (std::uint64_t c = offset / kChunk; c <= (offset + count - 1) / kChunk; ++c) {
        if (loaded_[c]) {
            continue;
        }
        const std::uint64_t from = c * kChunk;
        const auto length = static_cast<std::size_t>(std::min(kChunk, size_ - from));
        file_->ReadAt(from, data_ + from, length);
        loaded_[c] = true;
        bytesRead_ += length;
    }
}

void PartialImage::EnsureAll() {
    // The whole buffer is about to be touched: large pages, where the system offers them,
    // spare the program a page fault per 4 KiB.
    ::madvise(data_, static_cast<std::size_t>((size_ + kLargePage) & ~(kLargePage - 1)),
              MADV_HUGEPAGE);
    // Each run of chunks not read yet in one read.
    for (std::uint64_t c = 0; c < loaded_.size();) {
        if (loaded_[c]) {
            ++c;
            continue;
        }
        std::uint64_t end = c;
        while (end < loaded_.size() && !loaded_[end]) {
            ++end;
        }
        const std::uint64_t from = c * kChunk;
        const auto length = static_cast<std::size_t>(std::min(end * kChunk, size_) - from);
        file_->ReadAt(from, data_ + from, length);
        std::fill(loaded_.begin() + static_cast<std::ptrdiff_t>(c),
                  loaded_.begin() + static_cast<std::ptrdiff_t>(end), true);
        bytesRead_ += length;
        c = end;
    }
}

bool PartialImage::Overwrite(std::uint64_t offset, ByteView bytes) {
    if (offset > size_ || bytes.size() > size_ - offset) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), data_ + offset);
    return true;
}

void PartialImage::ConfirmUnchanged() const {
    std::vector<std::uint8_t> again;
    // Every chunk read counts: an output made from the whole image uses them all. Their bytes
    // are compared, since a write through a shared mapping moves neither the length nor the
    // times.
    for (std::uint64_t c = 0; c < loaded_.size(); ++c) {
        if (!loaded_[c]) {
            continue;
        }
        const std::uint64_t from = c * kChunk;
        again.resize(static_cast<std::size_t>(std::min(kChunk, size_ - from)));
        try {
            file_->ReadAt(from, again.data(), again.size());
        } catch (const FileError&) {
            // A file that shrank is a file that changed.
            throw FileError(file_->path(), make_error_code(CarillonErrc::changed_while_read));
        }
        if (std::memcmp(again.data(), data_ + from, again.size()) != 0) {
            throw FileError(file_->path(), make_error_code(CarillonErrc::changed_while_read));
        }
    }
    file_->ConfirmUnchanged();
}

void ReadForSearch(PartialImage& image, ImageKind kind) {
    const std::size_t size = image.View().size();
    if (kind == ImageKind::EepromEep) {
        image.EnsureAll();
        return;
    }
    // Identify: the version byte and the phone model.
    if (kind == ImageKind::FullFlash && InImage(kPhoneModelOffset, 3, size)) {
        image.Ensure(kVersionOffset, 1);
        image.Ensure(kPhoneModelOffset, 3);
    }
    // The same walk as WalkHeaderTable and the searches, made on bytes read just before.
    for (const Sector sector : {Sector::A, Sector::B, Sector::C}) {
        for (std::int64_t at =
                 SectorEnd(kind, sector) - static_cast<std::int64_t>(kBlockHeaderSize);
             InImage(at, kBlockHeaderSize, size);
             at -= static_cast<std::int64_t>(kBlockHeaderSize)) {
            image.Ensure(static_cast<std::uint64_t>(at), kBlockHeaderSize);
            const std::optional<BlockHeader> h = ReadBlockHeader(image.View(), at);
            if (h->status == kStatusFree) {
                break;
            }
            const std::int64_t data = PhoneAddressToImageOffset(kind, h->address);
            if (h->status == kStatusValid && InImage(data, 2, size)) {
                image.Ensure(static_cast<std::uint64_t>(data), 2);
            }
        }
    }
}

}  // namespace carillon
