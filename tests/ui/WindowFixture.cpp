#include "WindowFixture.h"

#include "ui/DialogPresenter.h"
#include "ui/ResultsTable.h"
#include "ui/ResultsTableModel.h"
#include "ui/ScanResultsView.h"
#include "updates/BuildInfo.h"

#include <QDragEnterEvent>
#include <QMimeData>

namespace twinfold::test {

WindowFixture::WindowFixture() {
    setSettingsStoreFile(QString::fromStdString((settingsDir / "settings.ini").string()));
    // Nothing newer unless a test publishes it.
    server.respondWith(publishedVersion(buildVersionString()));
}

WindowFixture::~WindowFixture() {
    window_.reset();
    updateVM_.reset();
    setSettingsStoreFile({});
}

void WindowFixture::openWindow() {
    updateVM_ = std::make_unique<UpdateViewModel>(settings_, std::make_unique<UpdateCheckerService>(server.url()));
    window_ = std::make_unique<MainWindow>(settings_, *updateVM_);
    window_->setUrlOpener([](const QUrl&) {});
    view().resultsView()->setFileRevealer([](const std::vector<fs::path>&, const NothingAnswered&) {});
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
}

// Creates the folders on the way.
fs::path WindowFixture::wav(const std::string& name, const Channels& channels, const PcmFormat& format) {
    const fs::path path = library / name;
    fs::create_directories(path.parent_path());
    writePcm(path, format, channels);
    return path;
}

void WindowFixture::chooseLibrary() {
    vm().setFolderChooser([this] { return std::optional<fs::path>(library.path()); });
    click(view().header()->selectFolderButton());
    waitForScan();
}

// A conversion is over once it has failed or been cancelled, or once it has
// completed, its originals have been handled (the list of them is cleared
// then) and the rescan that follows has finished.
void WindowFixture::waitForConversionToSettle() {
    ASSERT_TRUE(processEventsUntil([this] {
        const auto& conversion = vm().conversionState();
        const bool handlingOriginals =
            conversion.kind == ConversionState::Case::completed && !vm().convertedOriginalPaths().empty();
        return !conversion.isConverting() && !handlingOriginals && !vm().scanState().isScanning();
    })) << "the conversion did not settle";
}

void WindowFixture::waitForUpdateCheck(qsizetype requests) {
    ASSERT_TRUE(processEventsUntil([&] { return server.requests().size() >= requests && !updateVM().isChecking(); }));
}

QAbstractButton* WindowFixture::deleteOriginalsButton() {
    processEventsUntil([this] { return view().dialogs()->deleteConfirmation() != nullptr; });
    QMessageBox* box = view().dialogs()->deleteConfirmation();
    for (QAbstractButton* button : box ? box->buttons() : QList<QAbstractButton*>())
        if (button->text() == QLatin1String("Delete Originals")) return button;
    return nullptr;
}

void WindowFixture::click(QAbstractButton* button) {
    ASSERT_TRUE(button->isVisible()) << button->text().toStdString() << " is not on screen";
    QTest::mouseClick(button, Qt::LeftButton);
}

bool WindowFixture::dropOnWindow(const std::vector<fs::path>& items) {
    QMimeData data;
    QList<QUrl> paths;
    for (const fs::path& item : items) paths << QUrl::fromLocalFile(QString::fromStdString(item.string()));
    data.setUrls(paths);
    const QPoint centre = view().rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view(), &enter);
    EXPECT_TRUE(enter.isAccepted() && view().isDropTargeted());
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view(), &drop);
    EXPECT_FALSE(view().isDropTargeted());
    return drop.isAccepted();
}

std::set<std::string> WindowFixture::libraryFiles() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(library.path())) names.insert(entry.path().filename().string());
    return names;
}

// The table's row, which after a sort is not the view model's index.
int WindowFixture::rowOf(const std::string& filename) {
    const ResultsTableModel& model = *view().resultsView()->model();
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.resultAt(row).fileInfo.filename == filename) return row;
    return -1;
}

const ScanResult& WindowFixture::resultNamed(const std::string& filename) {
    const auto& results = vm().scanResults();
    const auto found = std::find_if(results.begin(), results.end(),
                                    [&](const ScanResult& result) { return result.fileInfo.filename == filename; });
    EXPECT_NE(found, results.end()) << filename << " is not among the results";
    return found != results.end() ? *found : results.at(0);
}

void WindowFixture::clickCell(int row, int column, Qt::KeyboardModifiers modifiers) {
    ResultsTable* table = view().resultsView()->table();
    const QModelIndex index = table->model()->index(row, column);
    table->scrollTo(index);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, table->visualRect(index).center());
}

}  // namespace twinfold::test
