#pragma once

#include "records/FileIdentity.h"

#include <filesystem>

namespace twinfold {

// The identity of the file at `path` now (following symbolic links, as every
// reader does); a default (unknown) identity when it cannot be read.
FileIdentity currentFileIdentity(const std::filesystem::path& path);

}  // namespace twinfold
