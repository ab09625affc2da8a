// SPDX-License-Identifier: GPL-3.0-or-later
// Builds patch blocks from arbitrary slot fields, address texts, images and file names. A
// block must stay inside the image, end every line with CR LF and hold exactly one record line
// per prefix, per started run of 16 content bytes and per name change. The stored melody name
// read from the same image must follow the name rule. A slot the search finds and judges
// sound is patched only inside its block (and its name text).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/slots.h"
#include "patch/patch_builder.h"
#include "patch/patch_request.h"
#include "search/block_soundness.h"
#include "search/slot_search.h"

namespace {

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::int32_t Int() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = (v << 8) | Byte();
        }
        return static_cast<std::int32_t>(v);
    }
    std::string Text(std::size_t max) {
        const std::size_t n = Byte() % (max + 1);
        std::string s;
        for (std::size_t i = 0; i < n && at_ < size_; ++i) {
            s += static_cast<char>(data_[at_++]);
        }
        return s;
    }
    carillon::Bytes Rest(std::size_t count) {
        const std::size_t n = std::min(count, size_ - at_);
        carillon::Bytes b(data_ + at_, data_ + at_ + n);
        at_ += n;
        return b;
    }
    std::size_t Left() const { return size_ - at_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The request's row patched as the search found it in `image`: when the slot is sound, every
// edit lies in its block (prefix and content area) or in its 11-byte name text.
void CheckSoundSlotPatch(carillon::PatchRequest r, carillon::ByteView image,
                         carillon::ByteView replacement) {
    using namespace carillon;
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchSlots(image, r.kind, slots);
    const auto row = static_cast<std::size_t>(r.row);
    if (slots[row].Found == 0 || !CheckSlotSoundness(image, r.kind, slots)[row].sound()) {
        return;
    }
    r.slot = slots[row];
    ShowSelectedSlot(r.slot);
    r.startText = FormatAddress(r.slot.Address);
    r.endText = FormatAddress(r.slot.EndAddress);
    const BuiltPatch built = BuildPatchFromBytes(r, image, replacement);
    if (!built.block) {
        return;
    }
    const std::int64_t from = FlashOffsetToImageOffset(r.kind, r.slot.Address) - 3;
    const std::int64_t to = from + 3 + r.slot.Capacity;
    const std::int64_t name = FlashOffsetToImageOffset(r.kind, r.slot.NameAddress);
    for (const ByteEdit& e : built.block->edits) {
        const auto end = e.offset + static_cast<std::int64_t>(e.bytes.size());
        const bool inBlock = e.offset >= from && end <= to;
        const bool inName =
            e.offset >= name && end <= name + static_cast<std::int64_t>(kNameLength);
        if (!inBlock && !inName) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace carillon;
    Input in(data, size);
    PatchRequest r;
    r.kind = static_cast<ImageKind>(in.Byte() % 3);
    r.row = in.Byte() % kSlotCount;
    r.keepName = (in.Byte() & 1) != 0;
    r.startText = in.Text(10);
    r.endText = in.Text(10);
    r.slot.Address = in.Int() % 4096;
    r.slot.EndAddress = r.slot.Address + in.Int() % 4096;
    r.slot.NameAddress = in.Int() % 8192;
    r.slot.ContentTag = in.Byte();
    r.slot.Name = in.Text(11);
    r.caption = in.Text(16);
    r.replacementPath = in.Text(24);
    const Bytes replacement = in.Rest(in.Byte() * 4u);
    const Bytes image = in.Rest(in.Left());

    // A stored name is 1..11 name characters without a trailing blank, read inside the image.
    if (const auto name = StoredName(image, r.kind, r.row, r.slot)) {
        if (name->empty() || name->size() > kNameLength || name->back() == ' ' ||
            !std::all_of(name->begin(), name->end(),
                         [](char c) { return IsNameCharacter(static_cast<unsigned char>(c)); })) {
            std::abort();
        }
    }

    CheckSoundSlotPatch(r, image, replacement);
    const BuiltPatch built = BuildPatchFromBytes(r, image, replacement);
    if (!built.block) {
        return 0;
    }
    const PatchBlock& block = *built.block;
    if (!EditsFit(block.edits, image.size()) || block.edits.size() < 2) {
        std::abort();
    }
    const std::size_t length = block.edits[1].bytes.size();
    const std::size_t expected = 1 + (length + 15) / 16 + (block.edits.size() == 3 ? 1 : 0);
    std::size_t records = 0;
    std::size_t at = 0;
    while (at < block.text.size()) {
        const std::size_t lf = block.text.find('\n', at);
        if (lf == std::string::npos || lf == at || block.text[lf - 1] != '\r') {
            std::abort();
        }
        if (lf - 1 > at && block.text[at] != ';') {
            ++records;
        }
        at = lf + 1;
    }
    if (records != expected) {
        std::abort();
    }
    return 0;
}
