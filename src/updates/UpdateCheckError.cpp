#include "updates/UpdateCheckError.h"

namespace twinfold {

namespace {

const char* descriptionOf(UpdateCheckError::Case errorCase) {
    switch (errorCase) {
    case UpdateCheckError::Case::serverError:
        return "Could not reach the update server. Please check your internet connection and try again.";
    }
    return "";
}

}  // namespace

UpdateCheckError::UpdateCheckError(Case errorCase) : std::runtime_error(descriptionOf(errorCase)), case_(errorCase) {}

UpdateTransportError::UpdateTransportError(QNetworkReply::NetworkError code, const QString& description)
    : std::runtime_error(description.toStdString()), code_(code) {}

}  // namespace twinfold
