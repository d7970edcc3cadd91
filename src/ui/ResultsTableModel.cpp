#include "ui/ResultsTableModel.h"

#include "records/ScanResult.h"
#include "ui/ResultPresentation.h"
#include "ui/StatusBadge.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "workflow/ScanViewModel.h"

#include <QApplication>
#include <QIcon>

namespace twinfold {

namespace {

constexpr int kKindIconSize = 16;

// On a selected row the symbol turns white, like the row's text.
QIcon kindIcon(const ScanResult& result)
{
    const QPalette palette = QApplication::palette();
    const QString name = kindSymbolName(result);
    const qreal dpr = qApp->devicePixelRatio();
    QIcon icon;
    icon.addPixmap(symbolPixmap(name, tintColor(kindTint(result), palette), kKindIconSize, dpr), QIcon::Normal);
    icon.addPixmap(symbolPixmap(name, Qt::white, kKindIconSize, dpr, tintColor(Tint::accent, palette)),
                   QIcon::Selected);
    return icon;
}

}  // namespace

ResultsTableModel::ResultsTableModel(ScanViewModel& viewModel, QObject* parent)
    : QAbstractTableModel(parent), viewModel_(viewModel)
{
    // Any change of the list (a new scan, a re-sort) redraws every row.
    connect(&viewModel_, &ScanViewModel::scanResultsChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&viewModel_, &ScanViewModel::selectedResultIDsChanged, this, &ResultsTableModel::selectionChanged);
}

int ResultsTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(viewModel_.scanResults().size());
}

int ResultsTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

const ScanResult& ResultsTableModel::resultAt(int row) const
{
    return viewModel_.scanResults().at(std::size_t(row));
}

QVariant ResultsTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const ScanResult& result = resultAt(index.row());
    switch (index.column()) {
    case checkColumn: return checkData(result, role);
    case filenameColumn: return filenameData(result, role);
    case statusColumn: {
        const StatusBadge badge(result);
        if (role == StatusTextRole || role == Qt::ToolTipRole)
            return badge.text();
        if (role == TintRole)
            return int(badge.tint());
        return {};
    }
    default: return role == Qt::DisplayRole ? displayText(result, index.column()) : QVariant();
    }
}

QVariant ResultsTableModel::displayText(const ScanResult& result, int column) const
{
    const AudioFileInfo& info = result.fileInfo;
    switch (column) {
    case channelsColumn: return channelsText(info);
    case bitDepthColumn: return bitDepthText(info);
    case sampleRateColumn: return QString::fromStdString(info.sampleRateText());
    case durationColumn: return QString::fromStdString(info.durationText());
    case sizeColumn: return byteCountText(info.fileSize);
    default: return {};
    }
}

QVariant ResultsTableModel::checkData(const ScanResult& result, int role) const
{
    const CheckMark mark = checkMarkFor(result, viewModel_.selectedResultIDs().count(result.id) > 0);
    switch (role) {
    case CheckSymbolRole: return mark.symbolName;
    case CheckOpacityRole: return mark.opacity;
    case TintRole: return int(mark.tint);
    default: return {};
    }
}

QVariant ResultsTableModel::filenameData(const ScanResult& result, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return QString::fromStdString(result.fileInfo.filename);
    case SymbolRole: return kindSymbolName(result);
    case TintRole: return int(kindTint(result));
    case Qt::DecorationRole: return kindIcon(result);
    default: return {};
    }
}

QVariant ResultsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const titles[] = {"", "Filename", "Channels", "Bit Depth", "Sample Rate",
                                         "Duration", "Size", "Status"};
    return section >= 0 && section < columnCount_ ? QString::fromLatin1(titles[section]) : QVariant();
}

void ResultsTableModel::selectionChanged()
{
    if (rowCount() > 0)
        emit dataChanged(index(0, checkColumn), index(rowCount() - 1, checkColumn));
}

}  // namespace twinfold
