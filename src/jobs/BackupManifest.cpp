#include "jobs/BackupManifest.h"

#include "jobs/JsonText.h"
#include "conversion/DurableSync.h"

#include <openssl/evp.h>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// A path is written as text; one that is not valid UTF-8 (a Linux name is
// any bytes) shows U+FFFD in the text, for people, and keeps its exact bytes
// in base64 under "pathBytes", for the restore. Members in name order.
void appendFileJson(std::string& out, const RecordedFile& file) {
    const std::string& bytes = file.path.native();
    out += "{\"path\":";
    json::appendString(out, bytes);
    if (!json::isValidUtf8(bytes)) {
        std::string base64(4 * ((bytes.size() + 2) / 3) + 1, '\0');
        const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()),
                                           reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
        base64.resize(std::size_t(length));
        out += ",\"pathBytes\":";
        json::appendString(out, base64);
    }
    out += ",\"sha256\":";
    json::appendString(out, file.sha256);
    out += ",\"size\":" + std::to_string(file.size) + "}";
}

std::optional<fs::path> pathFrom(const json::Value& object) {
    const json::Value* raw = object.member("pathBytes");
    if (!raw || !raw->isString()) return object.member("path")->text;
    const std::string& text = raw->text;
    if (text.size() % 4 != 0) return std::nullopt;
    std::string bytes(text.size() / 4 * 3 + 1, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    // The decoder counts the padding as zero bytes.
    const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    if (length < 0 || std::size_t(length) < padding) return std::nullopt;
    bytes.resize(std::size_t(length) - padding);
    return bytes;
}

std::optional<RecordedFile> fileFrom(const json::Value& object) {
    const json::Value* path = object.member("path");
    const json::Value* size = object.member("size");
    const json::Value* sha256 = object.member("sha256");
    if (!path || !path->isString() || !size || size->kind != json::Value::Kind::number || !sha256 ||
        !sha256->isString())
        return std::nullopt;
    const auto exactPath = pathFrom(object);
    if (!exactPath) return std::nullopt;
    RecordedFile file{*exactPath, size->integer(-1), sha256->text};
    if (file.path.empty() || file.size < 0 || file.sha256.size() != 64) return std::nullopt;
    return file;
}

std::string hexOf(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 0xF];
    }
    return text;
}

// The manifest's bytes so far, none when there is none; 0 or an errno value.
int readExisting(int backupFolder, std::string& text) {
    const int fd = ::openat(backupFolder, kBackupManifestName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 0 : errno;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) text.append(buffer, std::size_t(n));
    }
    const int error = n < 0 ? errno : 0;
    ::close(fd);
    if (error == 0 && !text.empty() && text.back() != '\n') text += '\n';  // a line cut short stays on its own
    return error;
}

int writeAll(int fd, const std::string& text) {
    for (std::size_t written = 0; written < text.size();) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        written += std::size_t(n);
    }
    return 0;
}

}  // namespace

std::optional<FileDigest> digestOfFile(const fs::path& file, std::error_code& error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = {errno, std::generic_category()};
        return std::nullopt;
    }
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> hash(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!hash || EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr) != 1) {
        ::close(fd);
        error = std::make_error_code(std::errc::not_enough_memory);
        return std::nullopt;
    }
    std::vector<char> buffer(std::size_t(1) << 20);
    std::int64_t size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = {errno, std::generic_category()};
        if (n <= 0) break;
        EVP_DigestUpdate(hash.get(), buffer.data(), std::size_t(n));
        size += n;
    }
    ::close(fd);
    if (error) return std::nullopt;
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(hash.get(), digest, &length) != 1) {
        error = std::make_error_code(std::errc::io_error);
        return std::nullopt;
    }
    return FileDigest{size, hexOf(digest, length)};
}

std::optional<RecordedFile> recordFile(const fs::path& file, const fs::path& scannedFolder, std::error_code& error) {
    const auto digest = digestOfFile(file, error);
    if (!digest) return std::nullopt;
    fs::path relative = file.lexically_relative(scannedFolder);
    if (relative.empty() || *relative.begin() == "..") relative = file.filename();
    return RecordedFile{relative, digest->size, digest->sha256};
}

// The original's members with "outputs" first, in name order.
std::string manifestLine(const ManifestEntry& entry) {
    std::string original;
    appendFileJson(original, entry.original);
    std::string line = "{\"outputs\":[";
    for (std::size_t i = 0; i < entry.outputs.size(); ++i) {
        if (i > 0) line += ',';
        appendFileJson(line, entry.outputs[i]);
    }
    line += "],";
    line.append(original, 1);  // without its opening brace
    return line;
}

std::optional<ManifestEntry> parseManifestLine(const std::string& line) {
    const auto object = json::parse(line);
    if (!object || object->kind != json::Value::Kind::object) return std::nullopt;
    auto original = fileFrom(*object);
    const json::Value* outputs = object->member("outputs");
    if (!original || !outputs || outputs->kind != json::Value::Kind::array) return std::nullopt;
    ManifestEntry entry{*original, {}};
    for (const json::Value& value : outputs->items) {
        auto output = fileFrom(value);
        if (!output) return std::nullopt;
        entry.outputs.push_back(*output);
    }
    return entry;
}

int appendToManifest(int backupFolder, const std::vector<ManifestEntry>& entries) {
    if (entries.empty()) return 0;
    std::string text;
    if (const int error = readExisting(backupFolder, text)) return error;
    for (const ManifestEntry& entry : entries) text += manifestLine(entry) + '\n';
    // The lines so far and the new ones go into a fresh file that then takes
    // the manifest's name: never half a line under that name, and it works
    // where an existing file cannot be opened for writing (FUSE's fusefat).
    const std::string temporary = std::string(".") + kBackupManifestName + ".new";
    ::unlinkat(backupFolder, temporary.c_str(), 0);  // left over from a crash
    const int fd = ::openat(backupFolder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    int error = writeAll(fd, text);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::renameat(backupFolder, temporary.c_str(), backupFolder, kBackupManifestName) != 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(backupFolder, temporary.c_str(), 0);
        return error;
    }
    // The manifest's name must be on the device as well as its bytes.
    return syncOpenFolder(backupFolder);
}

std::vector<ManifestEntry> readManifest(const fs::path& backupFolder, std::vector<std::string>& problems) {
    const fs::path file = backupFolder / kBackupManifestName;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::system_error(errno ? errno : ENOENT, std::generic_category(), file.string());
    std::vector<ManifestEntry> entries;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty()) continue;
        if (auto entry = parseManifestLine(line)) {
            entries.push_back(std::move(*entry));
        } else {
            problems.push_back(file.string() + ", line " + std::to_string(number) +
                               ": not a record this version can read");
        }
    }
    if (in.bad()) throw std::system_error(EIO, std::generic_category(), file.string());
    return entries;
}

}  // namespace twinfold
