#pragma once

// File paths in JSON documents. JSON text is Unicode while a Linux file name
// is any bytes but '/' and NUL: a path that is valid UTF-8 is written as
// text; one that is not is written as text with U+FFFD in place of the bad
// bytes, for people to read, and keeps its exact bytes in a second member
// named key + "Bytes" (base64), for scripts to turn back into the path.

#include <QJsonObject>
#include <QString>

#include <filesystem>
#include <string>

namespace twinfold {

bool isValidUtf8(const std::string& bytes);

void putPath(QJsonObject& object, const QString& key, const std::filesystem::path& path);

// The path under `key`, from its "Bytes" twin when there is one.
std::filesystem::path pathFrom(const QJsonObject& object, const QString& key);

}  // namespace twinfold
