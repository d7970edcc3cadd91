#include "ui/SaveFileChooser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

namespace twinfold {

namespace {

QString extensionOf(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

}  // namespace

std::optional<std::filesystem::path> askWhereToSave(QWidget* parent, const SaveFileRequest& request) {
    QString filter = request.filters.value(0);
    QString chosen =
        QFileDialog::getSaveFileName(parent, request.caption, QString::fromStdString(request.suggestedPath.string()),
                                     request.filters.join(QStringLiteral(";;")), &filter);
    if (chosen.isEmpty()) return std::nullopt;
    const QString extension = extensionOf(filter);
    if (QFileInfo(chosen).suffix().isEmpty() && !extension.isEmpty()) chosen += QChar('.') + extension;
    return std::filesystem::path(chosen.toStdString());
}

void showFileProblem(QWidget* window, const QString& title, const QString& message) {
    auto* alert = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::Ok, window);
    alert->setInformativeText(message);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
}

}  // namespace twinfold
