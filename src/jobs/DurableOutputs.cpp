#include "jobs/DurableOutputs.h"

#include "conversion/DurableSync.h"

#include <system_error>

namespace twinfold {

namespace {

void requireSynced(int error, const char* what, const std::filesystem::path& path) {
    if (error != 0)
        throw std::filesystem::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

}  // namespace

void makeDurable(const std::vector<std::filesystem::path>& files) {
    for (const auto& file : files) requireSynced(syncPath(file), "cannot sync output", file);
    // The new names live in their folders' entries, which need a sync of their own.
    for (const auto& file : files) requireSynced(syncFolderOf(file), "cannot sync the folder of output", file);
}

}  // namespace twinfold
