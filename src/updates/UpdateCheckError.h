#pragma once

#include <QNetworkReply>
#include <QString>

#include <stdexcept>

namespace twinfold {

// The update server answered, but not with the descriptor.
class UpdateCheckError : public std::runtime_error {
public:
    enum class Case { serverError };

    explicit UpdateCheckError(Case errorCase = Case::serverError);
    Case errorCase() const { return case_; }

    bool operator==(const UpdateCheckError& other) const { return case_ == other.case_; }

private:
    Case case_;
};

// The request never got an answer (refused, host not found, timed out, TLS
// failure); what() is the network layer's own description, unchanged.
class UpdateTransportError : public std::runtime_error {
public:
    UpdateTransportError(QNetworkReply::NetworkError code, const QString& description);
    QNetworkReply::NetworkError code() const { return code_; }

private:
    QNetworkReply::NetworkError code_;
};

}  // namespace twinfold
