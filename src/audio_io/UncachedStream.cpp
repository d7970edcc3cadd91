#include "audio_io/UncachedStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace twinfold::detail {
namespace {

// O_DIRECT wants buffers, offsets and lengths on the device's block
// boundaries; a page is a multiple of every block size in use.
constexpr std::int64_t kAlign = 4096;
constexpr std::int64_t kSlotBytes = std::int64_t(2) << 20;
constexpr std::size_t kSlots = 4;

std::int64_t alignDown(std::int64_t v) { return v / kAlign * kAlign; }
std::int64_t alignUp(std::int64_t v) { return alignDown(v + kAlign - 1); }

std::uint8_t* alignedBlock(std::int64_t bytes) {
    return static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, std::size_t(bytes)));
}

// Whether a quarter or more of the range is in the page cache, where a
// cached read beats any disk.
bool mostlyCached(int fd, std::int64_t begin, std::int64_t end) {
    const std::int64_t from = alignDown(begin);
    const auto length = std::size_t(end - from);
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, off_t(from));
    if (map == MAP_FAILED) return false;
    const std::size_t pages = (length + kAlign - 1) / kAlign;
    std::vector<unsigned char> resident(pages);
    const bool known = ::mincore(map, length, resident.data()) == 0;
    ::munmap(map, length);
    if (!known) return false;
    const auto cached =
        std::size_t(std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return r & 1; }));
    return cached * 4 >= pages;
}

// Reads whole aligned blocks until `size` bytes, the end of the file or
// an error (−1, errno set).
std::int64_t readAligned(int fd, std::uint8_t* dst, std::int64_t size, std::int64_t offset) {
    std::int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, dst + done, std::size_t(size - done), off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += n;
        if (done % kAlign != 0) break;  // the file ends within this block
    }
    return done;
}

// The first block read past the cache must hold what a cached read of the
// same bytes holds; a file system that accepts O_DIRECT but misreads it
// (or refuses the first read) is read the usual way.
bool readsAlike(int cachedFd, int directFd, std::int64_t begin) {
    std::unique_ptr<std::uint8_t, decltype(&std::free)> block(alignedBlock(kAlign), &std::free);
    const std::int64_t at = alignDown(begin);
    const std::int64_t got = block ? readAligned(directFd, block.get(), kAlign, at) : -1;
    const std::int64_t bytes = got - (begin - at);
    if (bytes <= 0) return false;
    std::vector<std::uint8_t> cached(std::size_t(bytes), 0);
    return ::pread(cachedFd, cached.data(), cached.size(), off_t(begin)) == ssize_t(bytes) &&
           std::memcmp(cached.data(), block.get() + (begin - at), cached.size()) == 0;
}

}  // namespace

void UncachedStream::AlignedFree::operator()(std::uint8_t* p) const { std::free(p); }

std::unique_ptr<UncachedStream> UncachedStream::open(int fd, std::int64_t begin, std::int64_t end) {
    if (begin < 0 || end - begin < kMinimumBytes || mostlyCached(fd, begin, end)) return nullptr;
    // Through /proc, the open file itself, even if its name has moved on.
    UniqueFd direct(::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
    if (!direct || !readsAlike(fd, direct.get(), begin)) return nullptr;
    std::unique_ptr<UncachedStream> stream(new UncachedStream(std::move(direct), end));
    for (Slot& slot : stream->slots_) {
        slot.data.reset(alignedBlock(kSlotBytes));
        if (!slot.data) return nullptr;
    }
    return stream;
}

UncachedStream::UncachedStream(UniqueFd fd, std::int64_t end) : fd_(std::move(fd)), end_(end), slots_(kSlots) {}

UncachedStream::~UncachedStream() { stop(); }

std::int64_t UncachedStream::read(std::uint8_t* dst, std::size_t size, std::int64_t offset) {
    if (offset != next_) {
        stop();
        start(offset);
    }
    std::size_t done = 0;
    while (done < size) {
        Slot& slot = slots_[head_];
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return slot.full; });
        }
        if (slot.error != 0) {
            next_ = -1;  // a retry reads again
            errno = slot.error;
            return -1;
        }
        const std::int64_t at = offset + std::int64_t(done) - slot.offset;
        if (at >= slot.size) break;  // the file ended early
        const auto n = std::size_t(std::min<std::int64_t>(std::int64_t(size - done), slot.size - at));
        std::memcpy(dst + done, slot.data.get() + at, n);
        done += n;
        if (at + std::int64_t(n) == slot.size && !isLast(slot)) {
            {
                std::lock_guard lock(mutex_);
                slot.full = false;
            }
            changed_.notify_all();
            head_ = (head_ + 1) % slots_.size();
        }
    }
    next_ = offset + std::int64_t(done);
    return std::int64_t(done);
}

void UncachedStream::start(std::int64_t offset) {
    for (Slot& slot : slots_) slot.full = false;
    head_ = 0;
    next_ = offset;
    thread_ = std::jthread([this, from = alignDown(offset)](std::stop_token stop) { fill(stop, from); });
}

void UncachedStream::stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
}

// The thread's loop: fills each free slot in turn with the next blocks,
// until the range, the file or the disk ends.
void UncachedStream::fill(std::stop_token stop, std::int64_t offset) {
    for (std::size_t i = 0;; i = (i + 1) % slots_.size()) {
        Slot& slot = slots_[i];
        {
            std::unique_lock lock(mutex_);
            if (!changed_.wait(lock, stop, [&] { return !slot.full; })) return;
        }
        const std::int64_t want = std::clamp<std::int64_t>(alignUp(end_) - offset, 0, kSlotBytes);
        const std::int64_t got = readAligned(fd_.get(), slot.data.get(), want, offset);
        const int error = got < 0 ? errno : 0;
        {
            std::lock_guard lock(mutex_);
            slot.offset = offset;
            slot.size = std::max<std::int64_t>(got, 0);
            slot.error = error;
            slot.full = true;
        }
        changed_.notify_all();
        if (error != 0 || got < kSlotBytes || offset + got >= end_) return;
        offset += got;
    }
}

bool UncachedStream::isLast(const Slot& slot) const {
    return slot.error != 0 || slot.size < kSlotBytes || slot.offset + slot.size >= end_;
}

}  // namespace twinfold::detail
