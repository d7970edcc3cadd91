#include "workflow/PathJson.h"

#include <QByteArray>
#include <QStringDecoder>

namespace twinfold {

bool isValidUtf8(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return !decoder.hasError() && text.toStdString() == bytes;
}

void putPath(QJsonObject& object, const QString& key, const std::filesystem::path& path) {
    const std::string& bytes = path.native();
    object[key] = QString::fromStdString(bytes);
    if (!isValidUtf8(bytes))
        object[key + "Bytes"] = QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toBase64());
}

std::filesystem::path pathFrom(const QJsonObject& object, const QString& key) {
    if (const QJsonValue raw = object[key + "Bytes"]; raw.isString()) {
        const QByteArray bytes = QByteArray::fromBase64(raw.toString().toLatin1());
        return std::string(bytes.constData(), std::size_t(bytes.size()));
    }
    return object[key].toString().toStdString();
}

}  // namespace twinfold
