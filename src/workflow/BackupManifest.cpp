#include "workflow/BackupManifest.h"

#include "conversion/DurableSync.h"
#include "workflow/PathJson.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

QJsonObject fileJson(const RecordedFile& file) {
    QJsonObject object;
    putPath(object, "path", file.path);
    object["size"] = qint64(file.size);
    object["sha256"] = QString::fromStdString(file.sha256);
    return object;
}

std::optional<RecordedFile> fileFrom(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    if (!object["path"].isString() || !object["size"].isDouble() || !object["sha256"].isString()) return std::nullopt;
    RecordedFile file{pathFrom(object, "path"), object["size"].toInteger(-1), object["sha256"].toString().toStdString()};
    if (file.path.empty() || file.size < 0 || file.sha256.size() != 64) return std::nullopt;
    return file;
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
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> buffer(std::size_t(1) << 20);
    std::int64_t size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = {errno, std::generic_category()};
        if (n <= 0) break;
        hash.addData(QByteArrayView(buffer.data(), qsizetype(n)));
        size += n;
    }
    ::close(fd);
    if (error) return std::nullopt;
    return FileDigest{size, hash.result().toHex().toStdString()};
}

std::optional<RecordedFile> recordFile(const fs::path& file, const fs::path& scannedFolder, std::error_code& error) {
    const auto digest = digestOfFile(file, error);
    if (!digest) return std::nullopt;
    fs::path relative = file.lexically_relative(scannedFolder);
    if (relative.empty() || *relative.begin() == "..") relative = file.filename();
    return RecordedFile{relative, digest->size, digest->sha256};
}

std::string manifestLine(const ManifestEntry& entry) {
    QJsonObject object = fileJson(entry.original);
    QJsonArray outputs;
    for (const RecordedFile& output : entry.outputs) outputs.append(fileJson(output));
    object["outputs"] = outputs;
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<ManifestEntry> parseManifestLine(const std::string& line) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    if (!document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    auto original = fileFrom(object);
    if (!original || !object["outputs"].isArray()) return std::nullopt;
    ManifestEntry entry{*original, {}};
    for (const QJsonValue& value : object["outputs"].toArray()) {
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
    if (error == 0 && ::renameat(backupFolder, temporary.c_str(), backupFolder, kBackupManifestName) != 0) error = errno;
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
            problems.push_back(file.string() + ", line " + std::to_string(number) + ": not a record this version can read");
        }
    }
    if (in.bad()) throw std::system_error(EIO, std::generic_category(), file.string());
    return entries;
}

}  // namespace twinfold
