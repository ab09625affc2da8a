#include "core/read_back.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace carillon {
namespace {

std::function<void(const std::string&)>& Hook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

}  // namespace

void SetReadBackHook(std::function<void(const std::string& writtenPath)> hook) {
    Hook() = std::move(hook);
}

void RunReadBackHook(const std::string& writtenPath) {
    if (Hook()) {
        Hook()(writtenPath);
    }
}

std::string ReadBackAndCheck(int fd, const std::string& writtenPath, std::uint64_t offset,
                             const std::uint8_t* data, std::size_t size,
                             const WrittenCheck& check) {
    if (Hook()) {
        Hook()(writtenPath);
    }
    // One byte more than written: a file that grew meanwhile is caught too.
    std::vector<std::uint8_t> back(size + 1);
    std::size_t done = 0;
    while (done < back.size()) {
        const ssize_t n =
            ::pread(fd, back.data() + done, back.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::string("it could not be read back: ") + std::strerror(errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (done != size) {
        return "it reads back as " + std::to_string(done) + " bytes, not " + std::to_string(size);
    }
    back.resize(size);
    const auto diff = std::mismatch(back.begin(), back.end(), data);
    if (diff.first != back.end()) {
        return "byte " + std::to_string(diff.first - back.begin()) + " reads back differently";
    }
    return check ? check(back) : std::string();
}

}  // namespace carillon
