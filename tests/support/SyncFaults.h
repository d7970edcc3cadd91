#pragma once

namespace twinfold::test {

// While one is alive, every fsync of a folder in this process fails with
// EIO, as on a device that could not write the folder's entries; files
// still sync. Linking this fixture replaces fsync for the whole test binary.
class FolderSyncFailure {
public:
    FolderSyncFailure();
    ~FolderSyncFailure();
    FolderSyncFailure(const FolderSyncFailure&) = delete;
    FolderSyncFailure& operator=(const FolderSyncFailure&) = delete;
};

}  // namespace twinfold::test
