#include "ui/SettingsPanel.h"

#include "conversion/OutputNaming.h"
#include "ui/RecordTexts.h"
#include "ui/Theme.h"
#include "workflow/ScanViewModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace twinfold {

namespace {

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    setForegroundColor(label, tintColor(Tint::secondary, label->palette()));
    return label;
}

QLineEdit* textField(int width, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setFixedWidth(width);
    // Dropped files belong to the window, not to the text.
    field->setAcceptDrops(false);
    return field;
}

}  // namespace

QString formatTarget(float dBFS) {
    const double value = dBFS == 0 ? 0.0 : double(dBFS);  // never "-0.0"
    return QLocale().toString(value, 'f', 1);
}

std::optional<float> parseTarget(const QString& text) {
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    const double rounded = std::round(value * 10) / 10;
    // A target above full scale would clip; 0 dBFS is the highest there is.
    return rounded >= 0 ? 0.0f : float(rounded);
}

SettingsPanel::SettingsPanel(ScanViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      suffix_(textField(80, this)),
      includePan_(new QCheckBox(tr("Include pan %"), this)),
      trackNames_(new QCheckBox(tr("Name split files by track name"), this)),
      originals_(new QComboBox(this)),
      normalize_(new QCheckBox(tr("Normalize converted files to:"), this)),
      targetGroup_(new QWidget(this)),
      target_(textField(52, targetGroup_)),
      targetDimming_(new QGraphicsOpacityEffect(targetGroup_)),
      checkForUpdates_(new QCheckBox(tr("Check for updates on launch"), this)) {
    includePan_->setToolTip(tr("Append pan percentage to filename for panned mono files (e.g. _69L)"));
    trackNames_->setToolTip(
        tr("Name each channel split from a multichannel file after the recorder’s track name, where it has one"));
    for (OriginalFileHandling handling : allOriginalFileHandlings()) originals_->addItem(recordText(title(handling)));
    target_->setPlaceholderText(tr("dBFS"));
    target_->setAccessibleName(tr("dBFS"));
    targetGroup_->setGraphicsEffect(targetDimming_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addLayout(buildFirstRow());
    column->addLayout(buildOriginalsRow());
    column->addLayout(buildSecondRow());
    connectControls();
    connect(&viewModel_, &ScanViewModel::settingsChanged, this, &SettingsPanel::refresh);
    refresh();
}

QLayout* SettingsPanel::buildFirstRow() {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(secondaryLabel(tr("Output suffix:"), this));
    row->addWidget(suffix_);
    row->addSpacing(12);
    row->addWidget(includePan_);
    row->addSpacing(12);
    row->addWidget(trackNames_);
    row->addStretch(1);
    return row;
}

// On a row of its own: with the naming options beside it the first row
// would not fit the narrowest window.
QLayout* SettingsPanel::buildOriginalsRow() {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(new QLabel(tr("After conversion:"), this));
    row->addWidget(originals_);
    row->addStretch(1);
    return row;
}

QLayout* SettingsPanel::buildSecondRow() {
    auto* group = new QHBoxLayout(targetGroup_);
    group->setContentsMargins(0, 0, 0, 0);
    group->setSpacing(4);
    group->addWidget(target_);
    group->addWidget(secondaryLabel(tr("dBFS"), targetGroup_));
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(normalize_);
    row->addWidget(targetGroup_);
    row->addSpacing(12);
    row->addWidget(checkForUpdates_);
    row->addStretch(1);
    // A build without the update check has nothing for this setting to do.
    if (!TWINFOLD_UPDATE_CHECK) checkForUpdates_->hide();
    return row;
}

void SettingsPanel::connectControls() {
    connect(suffix_, &QLineEdit::textEdited, this, &SettingsPanel::commitSuffix);
    connect(suffix_, &QLineEdit::editingFinished, this, [this] {
        // Leaving the field with a refused suffix shows the stored one again.
        if (isValidNamingSuffix(suffix_->text().toStdString())) return;
        suffix_->setText(QString::fromStdString(viewModel_.settings().namingSuffix));
        suffix_->setToolTip({});
    });
    connect(includePan_, &QCheckBox::toggled, this,
            [this](bool on) { change([on](AppSettings& s) { s.includePanInFilename = on; }); });
    connect(trackNames_, &QCheckBox::toggled, this,
            [this](bool on) { change([on](AppSettings& s) { s.nameSplitsByTrackName = on; }); });
    connect(originals_, &QComboBox::activated, this, [this](int index) {
        change([index](AppSettings& s) { s.originalFileHandling = allOriginalFileHandlings().at(std::size_t(index)); });
    });
    connect(normalize_, &QCheckBox::toggled, this,
            [this](bool on) { change([on](AppSettings& s) { s.normalizationEnabled = on; }); });
    connect(target_, &QLineEdit::editingFinished, this, &SettingsPanel::commitTarget);
    connect(checkForUpdates_, &QCheckBox::toggled, this,
            [this](bool on) { change([on](AppSettings& s) { s.checkForUpdatesOnLaunch = on; }); });
}

void SettingsPanel::change(const std::function<void(AppSettings&)>& edit) {
    AppSettings settings = viewModel_.settings();
    edit(settings);
    viewModel_.setSettings(settings);
}

// A suffix that would lead out of the source's folder is not stored; the
// field says why, at once and on hover, until the text is acceptable again.
void SettingsPanel::commitSuffix(const QString& text) {
    const std::string suffix = text.toStdString();
    if (!isValidNamingSuffix(suffix)) {
        const QString why = tr("The suffix is part of a file name: it cannot contain “/”.");
        suffix_->setToolTip(why);
        QToolTip::showText(suffix_->mapToGlobal(QPoint(0, suffix_->height())), why, suffix_);
        return;
    }
    suffix_->setToolTip({});
    QToolTip::hideText();
    change([&](AppSettings& s) { s.namingSuffix = suffix; });
}

// A value that does not parse puts the stored one back in the field.
void SettingsPanel::commitTarget() {
    if (const auto target = parseTarget(target_->text()))
        change([&](AppSettings& s) { s.normalizationTargetdBFS = *target; });
    target_->setText(formatTarget(viewModel_.settings().normalizationTargetdBFS));
}

void SettingsPanel::refresh() {
    const AppSettings& settings = viewModel_.settings();
    const QString suffix = QString::fromStdString(settings.namingSuffix);
    if (suffix_->text() != suffix) suffix_->setText(suffix);
    for (auto [box, on] :
         {std::pair{includePan_, settings.includePanInFilename}, std::pair{trackNames_, settings.nameSplitsByTrackName},
          std::pair{normalize_, settings.normalizationEnabled},
          std::pair{checkForUpdates_, settings.checkForUpdatesOnLaunch}}) {
        const QSignalBlocker blocker(box);
        box->setChecked(on);
    }
    const auto& handlings = allOriginalFileHandlings();
    originals_->setCurrentIndex(
        int(std::find(handlings.begin(), handlings.end(), settings.originalFileHandling) - handlings.begin()));
    if (!target_->hasFocus()) target_->setText(formatTarget(settings.normalizationTargetdBFS));
    targetGroup_->setEnabled(settings.normalizationEnabled);
    targetDimming_->setOpacity(settings.normalizationEnabled ? 1.0 : dimmedOpacity);
}

qreal SettingsPanel::targetOpacity() const { return targetDimming_->opacity(); }

}  // namespace twinfold
