#include "ui/HeaderView.h"

#include "ui/ElidedLabel.h"
#include "ui/ProgressRow.h"
#include "ui/RoundedBox.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "workflow/ScanViewModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace twinfold {

HeaderView::HeaderView(ScanViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      selectFolder_(new QPushButton(tr("Select Folder"), this)),
      reset_(new QPushButton(tr("Reset"), this)),
      scanning_(new ProgressRow(tr("Analyzing: "), 40, this)),
      converting_(new ProgressRow(tr("Converting: "), 50, this)) {
    auto* title = new QLabel(tr("Twinfold"), this);
    title->setFont(roleFont(FontRole::title2));
    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(8);
    folderRow->addWidget(buildFolderBox(), 1);
    folderRow->addWidget(selectFolder_);
    folderRow->addWidget(reset_);
    for (QPushButton* button : {selectFolder_, reset_}) button->setAutoDefault(false);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(10);
    column->addWidget(title);
    column->addLayout(folderRow);
    column->addWidget(scanning_);
    column->addWidget(converting_);

    connect(selectFolder_, &QPushButton::clicked, this, [this] { viewModel_.selectFolder(); });
    connect(reset_, &QPushButton::clicked, this, [this] { viewModel_.reset(); });
    connect(scanning_->cancelButton(), &QPushButton::clicked, this, [this] { viewModel_.cancelScan(); });
    connect(converting_->cancelButton(), &QPushButton::clicked, this, [this] { viewModel_.cancelConversion(); });
    for (auto signal : {&ScanViewModel::selectedFolderPathChanged, &ScanViewModel::sourceDescriptionChanged})
        connect(&viewModel_, signal, this, &HeaderView::refreshFolder);
    for (auto signal :
         {&ScanViewModel::scanStateChanged, &ScanViewModel::conversionStateChanged, &ScanViewModel::scanResultsChanged,
          &ScanViewModel::selectedFolderPathChanged, &ScanViewModel::sourceDescriptionChanged})
        connect(&viewModel_, signal, this, &HeaderView::refreshControls);
    refreshFolder();
    refreshControls();
}

QWidget* HeaderView::buildFolderBox() {
    // The rounded field that holds the folder's path.
    auto* box = new RoundedBox(6, RoundedBox::Outline::hairline, this);
    auto* icon = new QLabel(box);
    const int iconSize = fontMetrics().height();
    icon->setPixmap(
        symbolPixmap(QStringLiteral("folder"), tintColor(Tint::secondary, palette()), iconSize, devicePixelRatioF()));
    folderText_ = new ElidedLabel(Qt::ElideMiddle, 1, box);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(6);
    row->addWidget(icon);
    row->addWidget(folderText_, 1);
    return box;
}

QString HeaderView::folderText() const { return folderText_->text(); }

void HeaderView::refreshFolder() {
    QString text;
    if (const auto& folder = viewModel_.selectedFolderPath())
        text = QString::fromStdString(folder->string());
    else if (const auto& description = viewModel_.sourceDescription())
        text = QString::fromStdString(*description);
    placeholder_ = text.isEmpty();
    folderText_->setText(placeholder_ ? tr("No folder selected") : text);
    setForegroundColor(folderText_, tintColor(placeholder_ ? Tint::secondary : Tint::primary, palette()));
}

void HeaderView::refreshControls() {
    const ScanState& scan = viewModel_.scanState();
    const ConversionState& conversion = viewModel_.conversionState();
    const bool busy = scan.isScanning() || conversion.isConverting();
    selectFolder_->setEnabled(!busy);
    reset_->setEnabled(!busy);
    reset_->setVisible(!viewModel_.scanResults().empty() || viewModel_.selectedFolderPath() ||
                       viewModel_.sourceDescription());
    scanning_->setVisible(scan.isScanning());
    converting_->setVisible(!scan.isScanning() && conversion.isConverting());
    if (scan.isScanning())
        scanning_->setProgress(QString::fromStdString(scan.currentFile), scan.progress, scanProgressText(scan));
    if (conversion.isConverting())
        converting_->setProgress(QString::fromStdString(conversion.currentFile), conversion.progress,
                                 QStringLiteral("%1/%2").arg(conversion.completed).arg(conversion.total));
}

}  // namespace twinfold
