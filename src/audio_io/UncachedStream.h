#pragma once

#include "audio_io/PosixFile.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace twinfold::detail {

// Reads one byte range of a large file past the page cache (O_DIRECT), with
// a thread that keeps the next few megabytes in flight while the caller
// works on the last ones.
//
// A scan reads each file once, front to back. Through the page cache the
// kernel spends CPU on every page it inserts and copies, which on a
// machine whose cores are busy analysing competes with the analysis; read
// directly, the disk's DMA fills our buffers and the cache keeps what the
// user had in it. A file that is mostly cached already is read the usual
// way (open() says so), as the cache is faster than any disk.
class UncachedStream {
public:
    // A stream over bytes [begin, end) of the file open as `fd`, or null
    // where the range is small, mostly in the page cache already, or the
    // file system does not read past its cache. Opening checks the first
    // block against a cached read of the same bytes, so a stream that
    // exists reads what the file holds.
    static std::unique_ptr<UncachedStream> open(int fd, std::int64_t begin, std::int64_t end);

    ~UncachedStream();
    UncachedStream(const UncachedStream&) = delete;
    UncachedStream& operator=(const UncachedStream&) = delete;

    // Copies up to `size` bytes from `offset` (within the range) to `dst`.
    // Returns how many arrived: fewer only where the file ends early (it
    // was truncated after it was opened), or −1 with errno set when the
    // disk failed. Reads that follow one another need no seek; any other
    // offset restarts the read-ahead there.
    std::int64_t read(std::uint8_t* dst, std::size_t size, std::int64_t offset);

    static constexpr std::int64_t kMinimumBytes = std::int64_t(16) << 20;

private:
    struct AlignedFree {
        void operator()(std::uint8_t* p) const;
    };
    struct Slot {
        std::unique_ptr<std::uint8_t, AlignedFree> data;
        std::int64_t offset = 0;
        std::int64_t size = 0;  // bytes read; fewer than a slot's at the end
        int error = 0;
        bool full = false;
    };

    UncachedStream(UniqueFd fd, std::int64_t end);
    void start(std::int64_t offset);
    void stop();
    void fill(std::stop_token stop, std::int64_t offset);
    bool isLast(const Slot& slot) const;

    UniqueFd fd_;
    std::int64_t end_;
    std::int64_t next_ = -1;  // the offset the caller's next read is expected at
    std::vector<Slot> slots_;
    std::size_t head_ = 0;  // the caller's slot; the thread fills from there on
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::jthread thread_;
};

}  // namespace twinfold::detail
