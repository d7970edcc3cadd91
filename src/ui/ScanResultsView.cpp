#include "ui/ScanResultsView.h"

#include "conversion/DifferenceWriter.h"
#include "ui/DifferenceListener.h"
#include "ui/ResultDetailsPanel.h"
#include "ui/RecordTexts.h"
#include "ui/ResultsTable.h"
#include "ui/ResultsTableDelegate.h"
#include "ui/ResultsTableModel.h"
#include "ui/StatusBadge.h"
#include "workflow/ScanViewModel.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <QItemSelection>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScrollArea>
#include <QSet>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace twinfold {

namespace {

struct ColumnWidth {
    int column;
    int width;
    QHeaderView::ResizeMode mode;
    const char* widestCell;  // the longest text the column usually holds
};

constexpr ColumnWidth kColumnWidths[] = {
    {ResultsTableModel::checkColumn, 30, QHeaderView::Fixed, ""},
    {ResultsTableModel::filenameColumn, 300, QHeaderView::Interactive, ""},
    {ResultsTableModel::folderColumn, 140, QHeaderView::Interactive, ""},
    {ResultsTableModel::channelsColumn, 50, QHeaderView::Interactive, "16ch"},
    {ResultsTableModel::bitDepthColumn, 70, QHeaderView::Interactive, "32-bit float"},
    {ResultsTableModel::sampleRateColumn, 70, QHeaderView::Interactive, "88.2k"},
    {ResultsTableModel::durationColumn, 60, QHeaderView::Interactive, "8:88:88"},
    {ResultsTableModel::sizeColumn, 70, QHeaderView::Interactive, "888.8 MB"},
    {ResultsTableModel::statusColumn, 120, QHeaderView::Interactive, ""},
};

constexpr int kCellPadding = 14;
constexpr int kMinimumFilenameWidth = 200;

// The stored names of the columns, in column order.
constexpr const char* kColumnNames[] = {"selected",   "filename", "folder", "channels", "bitDepth",
                                        "sampleRate", "duration", "size",   "status"};
static_assert(std::size(kColumnNames) == ResultsTableModel::columnCount_);

int columnNamed(const std::string& name) {
    for (int column = 0; column < ResultsTableModel::columnCount_; ++column) {
        if (name == kColumnNames[column]) return column;
    }
    return ResultsTableModel::filenameColumn;
}

// The widths are meant for a compact system font; desktop fonts are often
// wider, so a column grows to fit its title and its usual text.
int fittedWidth(const ColumnWidth& c, const QHeaderView& header, const QFontMetrics& cells) {
    if (c.mode != QHeaderView::Interactive) return c.width;
    const QString title = header.model()->headerData(c.column, Qt::Horizontal).toString();
    const int titleWidth = header.fontMetrics().horizontalAdvance(title) + kCellPadding + 12;  // room for the arrow
    const int cellWidth = cells.horizontalAdvance(QString::fromLatin1(c.widestCell)) + kCellPadding;
    return std::max({c.width, titleWidth, cellWidth});
}

}  // namespace

ScanResultsView::ScanResultsView(ScanViewModel& viewModel, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      model_(new ResultsTableModel(viewModel, this)),
      table_(new ResultsTable(this)),
      detail_(new ResultDetailsPanel(this)),
      listener_(new DifferenceListener(this)) {
    table_->setModel(model_);
    table_->setItemDelegate(new ResultsTableDelegate(table_));
    configureColumns();
    resetSortOrder();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // The divider between table and details can be dragged.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setChildrenCollapsible(false);
    split->setHandleWidth(3);
    split->addWidget(table_);
    split->addWidget(detail_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    column->addWidget(split, 1);
    detail_->hide();
    connect(detail_, &ResultDetailsPanel::listenRequested, listener_, &DifferenceListener::listen);
    connect(detail_, &ResultDetailsPanel::hideRequested, this, [this] {
        detailHiddenFor_ = detail_->shownResult() ? std::optional(detail_->shownResult()->id) : std::nullopt;
        detail_->hide();
    });

    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ScanResultsView::pushRowSelection);
    connect(model_, &QAbstractItemModel::modelReset, this, &ScanResultsView::pullRowSelection);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { fitStatusColumn(0, model_->rowCount() - 1); });
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { fitStatusColumn(first, last); });
    connect(&viewModel_, &ScanViewModel::selectedResultIDsChanged, this, &ScanResultsView::pullRowSelection);
    connect(table_, &ResultsTable::checkMarkClicked, this,
            [this](int row) { viewModel_.toggleSelection(model_->resultAt(row).id); });
    connect(table_, &ResultsTable::rowDoubleClicked, this,
            [this](int row) { reveal({model_->resultAt(row).id}, false); });
    connect(table_, &ResultsTable::contextMenuRequested, this, &ScanResultsView::openContextMenu);
    pullRowSelection();
}

void ScanResultsView::configureColumns() {
    QHeaderView* header = table_->horizontalHeader();
    header->setMinimumSectionSize(30);
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (const ColumnWidth& c : kColumnWidths) {
        header->resizeSection(c.column, fittedWidth(c, *header, table_->fontMetrics()));
        header->setSectionResizeMode(c.column, c.mode);
    }
    const BadgeLook longStatus{recordText("Silent Right Channel"), Tint::purple};
    const int statusWidth = StatusBadge::sizeHint(longStatus, roleFont(FontRole::caption)).width() + 10;
    header->resizeSection(ResultsTableModel::statusColumn,
                          std::max(header->sectionSize(ResultsTableModel::statusColumn), statusWidth));
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 12);
    connect(header, &QHeaderView::sectionClicked, this, &ScanResultsView::headerClicked);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this, [this, header](const QPoint& position) {
        QMenu* menu = makeHeaderMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(header->mapToGlobal(position));
    });
    connect(header, &QHeaderView::sectionResized, this, [this](int section) {
        if (section != ResultsTableModel::filenameColumn && section != ResultsTableModel::folderColumn)
            fitFilenameColumn();
    });
    table_->setColumnHidden(ResultsTableModel::folderColumn, !viewModel_.settings().showFolderColumn);
}

// The file names and their folders share the room the other columns leave,
// the names never narrower than can show one; below that the table scrolls
// sideways.
void ScanResultsView::fitFilenameColumn() {
    QHeaderView* header = table_->horizontalHeader();
    const int filename = ResultsTableModel::filenameColumn;
    const int folder = ResultsTableModel::folderColumn;
    const bool folderShown = !header->isSectionHidden(folder);
    int others = 0;
    for (int column = 0; column < model_->columnCount(); ++column) {
        if (column != filename && column != folder && !header->isSectionHidden(column))
            others += header->sectionSize(column);
    }
    const int rest = table_->viewport()->width() - others;
    const int nameWidth = std::max(kMinimumFilenameWidth, folderShown ? rest * 3 / 5 : rest);
    if (folderShown) {
        const int folderWidth = std::max(60, rest - nameWidth);
        if (header->sectionSize(folder) != folderWidth) header->resizeSection(folder, folderWidth);
    }
    if (header->sectionSize(filename) != nameWidth) header->resizeSection(filename, nameWidth);
}

void ScanResultsView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitFilenameColumn();
}

QMenu* ScanResultsView::makeHeaderMenu() {
    auto* menu = new QMenu(this);
    QAction* folder = menu->addAction(tr("Folder"));
    folder->setCheckable(true);
    folder->setChecked(!table_->isColumnHidden(ResultsTableModel::folderColumn));
    connect(folder, &QAction::toggled, this, &ScanResultsView::setFolderColumnShown);
    return menu;
}

void ScanResultsView::setFolderColumnShown(bool shown) {
    table_->setColumnHidden(ResultsTableModel::folderColumn, !shown);
    fitFilenameColumn();
    AppSettings settings = viewModel_.settings();
    settings.showFolderColumn = shown;
    viewModel_.setSettings(settings);
}

// A badge longer than the usual ones ("… · differs by -18 dB") widens its
// column (the file names give way) rather than being cut.
// Only the rows in [first, last] are new; a badge text is measured once
// however many rows carry it.
void ScanResultsView::fitStatusColumn(int first, int last) {
    QHeaderView* header = table_->horizontalHeader();
    int width = header->sectionSize(ResultsTableModel::statusColumn);
    QSet<QString> texts;
    for (int row = std::max(first, 0); row <= last; ++row)
        texts.insert(
            model_->index(row, ResultsTableModel::statusColumn).data(ResultsTableModel::StatusTextRole).toString());
    for (const QString& text : texts) {
        const BadgeLook look{text, Tint::primary};
        width = std::max(width, StatusBadge::sizeHint(look, roleFont(FontRole::caption)).width() + 10);
    }
    header->resizeSection(ResultsTableModel::statusColumn, width);
}

std::optional<ResultsTableOrder::Sort> ScanResultsView::sortOrder() const { return model_->sortOrder(); }

// The order the user chose last time, or by name.
void ScanResultsView::resetSortOrder() {
    const AppSettings& settings = viewModel_.settings();
    model_->sort(columnNamed(settings.resultsSortColumn),
                 settings.resultsSortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    showSortIndicator();
}

void ScanResultsView::headerClicked(int section) {
    const auto current = model_->sortOrder();
    const bool ascending = current && current->column == section ? !current->ascending : true;
    model_->sort(section, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    // The header flips its indicator on any click; put back the real order.
    showSortIndicator();
    AppSettings settings = viewModel_.settings();
    settings.resultsSortColumn = kColumnNames[section];
    settings.resultsSortAscending = ascending;
    viewModel_.setSettings(settings);
}

void ScanResultsView::showSortIndicator() {
    QHeaderView* header = table_->horizontalHeader();
    const QSignalBlocker blocker(header);
    const auto sort = model_->sortOrder();
    header->setSortIndicatorShown(sort.has_value());
    header->setSortIndicator(sort ? sort->column : -1,
                             !sort || sort->ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// The table's row selection is the view model's selection, both ways.
std::set<Uuid> ScanResultsView::rowSelectionIDs() const {
    std::set<Uuid> ids;
    for (const QModelIndex& row : table_->selectionModel()->selectedRows()) ids.insert(model_->resultAt(row.row()).id);
    return ids;
}

void ScanResultsView::pushRowSelection() {
    if (syncingSelection_) return;
    viewModel_.setSelectedResultIDs(rowSelectionIDs());
    updateDetailPanel();
}

// Leaves the table alone when it already shows the selection (its own
// change coming back), so a drag or shift-click in progress keeps its anchor.
void ScanResultsView::pullRowSelection() {
    const auto& selected = viewModel_.selectedResultIDs();
    if (rowSelectionIDs() == selected) {
        updateDetailPanel();
        return;
    }
    QItemSelection selection;
    const int columns = model_->columnCount() - 1;
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (!selected.count(model_->resultAt(row).id)) continue;
        int last = row;
        while (last + 1 < model_->rowCount() && selected.count(model_->resultAt(last + 1).id)) ++last;
        selection.select(model_->index(row, 0), model_->index(last, columns));
        row = last;
    }
    syncingSelection_ = true;
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncingSelection_ = false;
    updateDetailPanel();
}

MultichannelDetailPanel* ScanResultsView::detailPanel() const { return detail_->channelGrid(); }

const ScanResult* ScanResultsView::resultWithID(const Uuid& id) const {
    for (const ScanResult& result : viewModel_.scanResults()) {
        if (result.id == id) return &result;
    }
    return nullptr;
}

void ScanResultsView::updateDetailPanel() {
    const auto& selected = viewModel_.selectedResultIDs();
    const ScanResult* result = selected.size() == 1 ? resultWithID(*selected.begin()) : nullptr;
    if (!result || result->id != detailHiddenFor_) detailHiddenFor_.reset();
    const bool show = result && !detailHiddenFor_;
    if (show) detail_->showResult(*result);
    detail_->setVisible(show);
}

void ScanResultsView::openContextMenu(const QList<int>& rows, const QPoint& globalPosition) {
    std::vector<Uuid> ids;
    for (int row : rows) ids.push_back(model_->resultAt(row).id);
    if (QMenu* menu = makeContextMenu(ids)) {
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(globalPosition);
    }
}

QMenu* ScanResultsView::makeContextMenu(const std::vector<Uuid>& clicked) {
    if (clicked.empty()) return nullptr;
    auto* menu = new QMenu(this);
    menu->addAction(tr("Show in File Manager"), this, [this, clicked] { reveal(clicked, true); });
    if (const ScanResult* only = clicked.size() == 1 ? resultWithID(clicked.front()) : nullptr;
        only && hasDifference(*only)) {
        const ScanResult result = *only;
        menu->addAction(tr("Listen to the Difference"), this, [this, result] { listener_->listen(result); });
    }
    menu->addSeparator();
    QAction* convert = menu->addAction(tr("Convert Selected"), this, &ScanResultsView::convertRequested);
    convert->setEnabled(!viewModel_.selectedConvertibleResults().empty() &&
                        viewModel_.conversionState().kind == ConversionState::Case::idle);
    menu->addSeparator();
    menu->addAction(tr("Deselect All"), this, [this] { viewModel_.setSelectedResultIDs({}); });
    return menu;
}

// The results' own files, in table order; a split pair's right file too
// when asked.
void ScanResultsView::reveal(const std::vector<Uuid>& ids, bool withPairedFiles) {
    std::vector<std::filesystem::path> files;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const ScanResult& result = model_->resultAt(row);
        if (std::find(ids.begin(), ids.end(), result.id) == ids.end()) continue;
        files.push_back(result.fileInfo.path);
        if (withPairedFiles && result.pairedFilePath) files.push_back(*result.pairedFilePath);
        if (!withPairedFiles) break;
    }
    if (!files.empty() && revealer_)
        revealer_(files, [view = QPointer<ScanResultsView>(this)] {
            if (view) view->showNothingAnswered();
        });
}

// Window-modal but not blocking: the bus may answer long after the click.
void ScanResultsView::showNothingAnswered() {
    auto* alert = new QMessageBox(QMessageBox::Warning, tr("No File Manager Found"), tr("No File Manager Found"),
                                  QMessageBox::Ok, window());
    alert->setInformativeText(
        tr("Neither a file manager nor a web browser answered, so the files could not be "
           "shown. Install a file manager, or open the folder yourself."));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
}

}  // namespace twinfold
