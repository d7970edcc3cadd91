#pragma once

#include "records/AppSettings.h"

#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QGraphicsOpacityEffect;
class QLabel;
class QLineEdit;

namespace twinfold {

class ScanViewModel;

// The rows of settings above the action bar. Every control shows a
// field of the view model's settings, and every change is written back and
// saved at once.
class SettingsPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal dimmedOpacity = 0.4;

    explicit SettingsPanel(ScanViewModel& viewModel, QWidget* parent = nullptr);

    QLineEdit* suffixField() const { return suffix_; }
    QCheckBox* includePanBox() const { return includePan_; }
    QCheckBox* trackNamesBox() const { return trackNames_; }
    QComboBox* originalsMenu() const { return originals_; }
    QCheckBox* normalizeBox() const { return normalize_; }
    QLineEdit* targetField() const { return target_; }
    QWidget* targetGroup() const { return targetGroup_; }
    // The opacity the target field and its unit are drawn at.
    qreal targetOpacity() const;
    QCheckBox* checkForUpdatesBox() const { return checkForUpdates_; }

private:
    QLayout* buildFirstRow();
    QLayout* buildOriginalsRow();
    QLayout* buildSecondRow();
    void connectControls();
    void refresh();
    void change(const std::function<void(AppSettings&)>& edit);
    void commitTarget();
    void commitSuffix(const QString& text);

    ScanViewModel& viewModel_;
    QLineEdit* suffix_;
    QCheckBox* includePan_;
    QCheckBox* trackNames_;
    QComboBox* originals_;
    QCheckBox* normalize_;
    QWidget* targetGroup_;
    QLineEdit* target_;
    QGraphicsOpacityEffect* targetDimming_;
    QCheckBox* checkForUpdates_;
};

// The target as the field shows it: one fraction digit in the user's locale.
QString formatTarget(float dBFS);
// The typed text as a target: rounded to one fraction digit and never above
// full scale; nothing when it is not a number in the user's locale.
std::optional<float> parseTarget(const QString& text);

}  // namespace twinfold
