#pragma once

#include <cstdint>

namespace twinfold {

// What tells one version of a file from another without reading it: the
// same device, inode, size and modification time mean the same content, as
// far as anything short of a full read can tell. Taken when a file is
// scanned and compared again before its original is moved or deleted.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modifiedNanoseconds = 0;

    bool isKnown() const { return size >= 0; }
    bool operator==(const FileIdentity&) const = default;
};

}  // namespace twinfold
