// Judges arbitrary patches against a small image in order, as a flasher applies them. The
// judge must stay inside the image, give the same verdicts when run twice, and agree with
// itself both ways: the in-place judge (first to last, no records kept) says what judging the
// records last first with old and new swapped says, and a patch whose every record applied
// is found in place in the result and reverts to the image it started from.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "patch/vkp_reader.h"

namespace {

using namespace carillon;

constexpr std::size_t kImageBytes = 64;

bool Passes(RecordStatus s) {
    return s == RecordStatus::Applies || s == RecordStatus::Both;
}

// Judges `records` last first with old and new swapped on `copy`; true when all pass.
bool RevertAll(const std::vector<VkpRecord>& records, ImageKind kind, Bytes& copy) {
    VkpJudge judge(kind, copy, JudgeDirection::Revert, false);
    bool all = true;
    for (auto r = records.rbegin(); r != records.rend(); ++r) {
        all = Passes(judge.Judge(*r).status) && all;
    }
    return all;
}

bool InPlace(const std::vector<VkpRecord>& records, ImageKind kind, ByteView image) {
    VkpInPlaceJudge judge(kind, image);
    for (const VkpRecord& r : records) {
        judge.Add(r);
    }
    return judge.Passes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const auto kind = static_cast<ImageKind>(data[0] % 3);
    const std::size_t imageSize = std::min<std::size_t>(kImageBytes, data[1]);
    if (size < 2 + imageSize) {
        return 0;
    }
    const Bytes image(data + 2, data + 2 + imageSize);
    const std::string_view text(reinterpret_cast<const char*>(data + 2 + imageSize),
                                size - 2 - imageSize);
    const VkpParse parsed = ReadVkp(text);
    if (!parsed.ok()) {
        return 0;
    }

    // In order, twice: the same verdicts and the same working copy.
    Bytes first = image;
    Bytes second = image;
    VkpJudge a(kind, first);
    VkpJudge b(kind, second);
    bool allApplied = true;
    for (const VkpRecord& r : parsed.records) {
        const RecordCheck x = a.Judge(r);
        const RecordCheck y = b.Judge(r);
        if (x.status != y.status || x.offset != y.offset || x.expected != y.expected ||
            x.found != y.found || x.overlapsLine != y.overlapsLine ||
            (x.overlapsLine != 0 && x.overlapsLine >= r.line)) {
            std::abort();
        }
        allApplied = allApplied && Passes(x.status);
    }
    if (first != second || first.size() != imageSize) {
        std::abort();
    }

    // The in-place judge agrees with judging last first, swapped.
    Bytes reverted = image;
    if (InPlace(parsed.records, kind, image) != RevertAll(parsed.records, kind, reverted)) {
        std::abort();
    }
    // A patch that applied record by record is in place in its result and reverts from it.
    if (allApplied) {
        Bytes back = first;
        if (!InPlace(parsed.records, kind, first) || !RevertAll(parsed.records, kind, back) ||
            back != image) {
            std::abort();
        }
    }
    return 0;
}
