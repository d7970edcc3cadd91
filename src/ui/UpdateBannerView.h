#pragma once

#include "updates/AppUpdate.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace twinfold {

class ElidedLabel;
class UpdateViewModel;

// The strip at the top of the window announcing a newer version, with
// "Skip", "Download" and a close button. Whether it shows is the window's
// decision; the banner only presents the offer and forwards the actions.
class UpdateBannerView : public QWidget {
    Q_OBJECT
public:
    explicit UpdateBannerView(UpdateViewModel& updateVM, QWidget* parent = nullptr);

    // Copies the offer in; called whenever the offered update changes.
    void setUpdate(const AppUpdate& update);

    QString headline() const;
    QLabel* headlineLabel() const { return headline_; }
    ElidedLabel* notesLabel() const { return notes_; }
    QPushButton* skipButton() const { return skip_; }
    QPushButton* downloadButton() const { return download_; }
    QPushButton* closeButton() const { return close_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* buildTexts();
    void buildButtons();

    UpdateViewModel& updateVM_;
    AppUpdate update_;
    QLabel* headline_ = nullptr;
    ElidedLabel* notes_ = nullptr;
    QPushButton* skip_ = nullptr;
    QPushButton* download_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace twinfold
