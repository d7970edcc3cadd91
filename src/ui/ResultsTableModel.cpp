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
QIcon kindIcon(const ScanResult& result) {
    const QPalette palette = QApplication::palette();
    const QString name = kindSymbolName(result);
    const qreal dpr = qApp->devicePixelRatio();
    QIcon icon;
    icon.addPixmap(symbolPixmap(name, tintColor(kindTint(result), palette), kKindIconSize, dpr), QIcon::Normal);
    icon.addPixmap(symbolPixmap(name, Qt::white, kKindIconSize, dpr, tintColor(Tint::accent, palette)),
                   QIcon::Selected);
    return icon;
}

// A cell's own text with the row's notes under it; nothing when there is
// neither. Marked up, so a long note wraps, and escaped: names and reasons
// come from files and are never read as markup.
QVariant withNotes(const QString& text, const ScanResult& result) {
    QStringList lines = rowNotes(result);
    if (!text.isEmpty()) lines.prepend(text);
    if (lines.isEmpty()) return {};
    for (QString& line : lines) line = line.toHtmlEscaped();
    return QStringLiteral("<qt>") + lines.join(QStringLiteral("<br>")) + QStringLiteral("</qt>");
}

}  // namespace

ResultsTableModel::ResultsTableModel(ScanViewModel& viewModel, QObject* parent)
    : QAbstractTableModel(parent), viewModel_(viewModel) {
    // Any change of the whole list (a new scan, a re-sort) redraws every
    // row, in the table's order.
    connect(&viewModel_, &ScanViewModel::scanResultsChanged, this, [this] {
        beginResetModel();
        order_.reset(viewModel_.scanResults(), viewModel_.selectedResultIDs());
        rows_ = int(order_.rowCount());
        endResetModel();
    });
    connect(&viewModel_, &ScanViewModel::scanResultsInserted, this, &ResultsTableModel::resultsInserted);
    order_.reset(viewModel_.scanResults(), viewModel_.selectedResultIDs());
    rows_ = int(order_.rowCount());
    connect(&viewModel_, &ScanViewModel::selectedResultIDsChanged, this, &ResultsTableModel::selectionChanged);
}

int ResultsTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int ResultsTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columnCount_; }

const ScanResult& ResultsTableModel::resultAt(int row) const {
    return viewModel_.scanResults().at(order_.resultIndex(std::size_t(row)));
}

// A layout change, not a reset: the persistent indices (selection, current
// row, scroll anchor) are moved to wherever their results now are.
void ResultsTableModel::sort(int column, Qt::SortOrder order) {
    std::optional<ResultsTableOrder::Sort> sort;
    if (column >= 0 && column < columnCount_) sort = ResultsTableOrder::Sort{column, order == Qt::AscendingOrder};
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> results;
    results.reserve(std::size_t(before.size()));
    for (const QModelIndex& index : before) results.push_back(order_.resultIndex(std::size_t(index.row())));
    order_.setSort(sort, viewModel_.scanResults(), viewModel_.selectedResultIDs());
    if (!before.isEmpty()) {
        std::vector<int> rowOf(order_.rowCount());
        for (std::size_t row = 0; row < order_.rowCount(); ++row) rowOf[order_.resultIndex(row)] = int(row);
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after.push_back(index(rowOf[results[std::size_t(i)]], before[i].column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QVariant ResultsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const ScanResult& result = resultAt(index.row());
    switch (index.column()) {
    case checkColumn: return checkData(result, role);
    case filenameColumn: return filenameData(result, role);
    case statusColumn: return statusData(result, role);
    default:
        if (role == Qt::ToolTipRole) return withNotes({}, result);
        return role == Qt::DisplayRole ? displayText(result, index.column()) : QVariant();
    }
}

QVariant ResultsTableModel::displayText(const ScanResult& result, int column) const {
    const AudioFileInfo& info = result.fileInfo;
    switch (column) {
    case channelsColumn: return formatColumnText(result, channelsText(info));
    case bitDepthColumn: return formatColumnText(result, bitDepthText(info));
    case sampleRateColumn: return formatColumnText(result, QString::fromStdString(info.sampleRateText()));
    case durationColumn: return formatColumnText(result, durationDisplayText(info.duration));
    case sizeColumn: return byteCountText(info.fileSize);
    case folderColumn: return folderText(result);
    default: return {};
    }
}

// Where the file lies below the scanned folder ("Day 1/Room A"), empty at
// its top; the whole folder path for a file outside it (a dropped file).
QString ResultsTableModel::folderText(const ScanResult& result) const {
    const std::filesystem::path folder = result.fileInfo.path.parent_path();
    if (const auto& root = viewModel_.selectedFolderPath()) {
        const std::filesystem::path relative = folder.lexically_relative(*root);
        if (!relative.empty() && *relative.begin() != "..")
            return relative == "." ? QString() : QString::fromStdString(relative.string());
    }
    return QString::fromStdString(folder.string());
}

QVariant ResultsTableModel::checkData(const ScanResult& result, int role) const {
    const CheckMark mark = checkMarkFor(result, viewModel_.selectedResultIDs().count(result.id) > 0);
    switch (role) {
    case CheckSymbolRole: return mark.symbolName;
    case CheckOpacityRole: return mark.opacity;
    case TintRole: return int(mark.tint);
    default: return {};
    }
}

QVariant ResultsTableModel::filenameData(const ScanResult& result, int role) const {
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(result.fileInfo.filename);
    case Qt::ToolTipRole: return withNotes(QString::fromStdString(result.fileInfo.filename), result);
    case TagRole: return filenameTagText(result);
    case SymbolRole: return kindSymbolName(result);
    case TintRole: return int(kindTint(result));
    case Qt::DecorationRole: return kindIcon(result);
    default: return {};
    }
}

QVariant ResultsTableModel::statusData(const ScanResult& result, int role) const {
    const StatusBadge badge(result);
    switch (role) {
    case StatusTextRole: return badge.text();
    case Qt::ToolTipRole: return withNotes(badge.text(), result);
    case TintRole: return int(badge.tint());
    default: return {};
    }
}

QVariant ResultsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const titles[] = {"",
                                         QT_TR_NOOP("Filename"),
                                         QT_TR_NOOP("Folder"),
                                         QT_TR_NOOP("Channels"),
                                         QT_TR_NOOP("Bit Depth"),
                                         QT_TR_NOOP("Sample Rate"),
                                         QT_TR_NOOP("Duration"),
                                         QT_TR_NOOP("Size"),
                                         QT_TR_NOOP("Status")};
    return section >= 0 && section < columnCount_ ? tr(titles[section]) : QVariant();
}

// Rows come ascending, each counted in the final order, so announcing
// them in turn (runs of neighbours together) keeps every row the views
// already know (their selection, the current row) on the same result.
void ResultsTableModel::resultsInserted(const std::vector<std::size_t>& listPositions) {
    const std::vector<std::size_t> positions =
        order_.insert(viewModel_.scanResults(), listPositions, viewModel_.selectedResultIDs());
    for (std::size_t first = 0; first < positions.size();) {
        std::size_t last = first;
        while (last + 1 < positions.size() && positions[last + 1] == positions[last] + 1) ++last;
        beginInsertRows({}, int(positions[first]), int(positions[last]));
        rows_ += int(last - first + 1);
        endInsertRows();
        first = last + 1;
    }
}

void ResultsTableModel::selectionChanged() {
    if (rowCount() > 0) emit dataChanged(index(0, checkColumn), index(rowCount() - 1, checkColumn));
}

}  // namespace twinfold
