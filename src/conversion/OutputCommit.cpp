#include "conversion/OutputCommit.h"

#include "conversion/ConversionError.h"
#include "conversion/DurableSync.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kNameMax = 255;  // bytes in one name on Linux file systems
constexpr std::string_view kMarker = ".twinfold-";
constexpr int kRandomLength = 6;

std::error_code errnoCode(int error) { return {error, std::generic_category()}; }

std::string randomLetters() {
    static constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string letters;
    for (int i = 0; i < kRandomLength; ++i) letters += alphabet[pick(engine)];
    return letters;
}

// The stem cut to `room` bytes, never inside a UTF-8 character.
std::string shortened(std::string stem, std::size_t room) {
    if (stem.size() <= room) return stem;
    stem.resize(room);
    while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80) stem.pop_back();
    if (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0x80) != 0) stem.pop_back();
    return stem;
}

void removeQuietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

// Renames `from` to `to` unless `to` exists (EEXIST then), atomically.
std::error_code renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return errnoCode(error);
    // A file system without a no-replace rename: a hard link never replaces
    // either, and the old name goes once the link exists.
    if (::link(from.c_str(), to.c_str()) != 0) return errnoCode(errno);
    if (::unlink(from.c_str()) == 0) return {};
    const int unlinkError = errno;
    ::unlink(to.c_str());
    return errnoCode(unlinkError);
}

}  // namespace

fs::path temporaryPathFor(const fs::path& finalPath) {
    const std::string extension = finalPath.extension().string();
    const std::size_t fixed = 1 + kMarker.size() + kRandomLength + extension.size();
    const std::string stem = shortened(finalPath.stem().string(), kNameMax > fixed ? kNameMax - fixed : 0);
    for (;;) {
        fs::path candidate =
            finalPath.parent_path() / ("." + stem + std::string(kMarker) + randomLetters() + extension);
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
    }
}

void commitTemporary(const fs::path& temporary, const fs::path& finalPath) {
    // The temporary is ours and never followed; its folder may well be
    // reached through a link.
    if (const int error = syncPath(temporary, O_NOFOLLOW)) {
        removeQuietly(temporary);
        throw fs::filesystem_error("cannot write output", temporary, errnoCode(error));
    }
    if (const std::error_code error = renameWithoutReplacing(temporary, finalPath)) {
        removeQuietly(temporary);
        if (error == std::errc::file_exists) throw ConversionError::fileExists(finalPath.filename().string());
        throw ConversionError::cannotCreate(finalPath.filename().string(), error.message());
    }
    if (const int error = syncFolderOf(finalPath)) {
        // The name might not survive a power cut; the file is ours, just named.
        removeQuietly(finalPath);
        const fs::path folder = finalPath.has_parent_path() ? finalPath.parent_path() : fs::path(".");
        throw fs::filesystem_error("cannot sync folder", folder, errnoCode(error));
    }
}

}  // namespace twinfold
