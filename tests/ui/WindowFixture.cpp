#include "WindowFixture.h"

#include "ui/ResultsTable.h"
#include "ui/ResultsTableModel.h"
#include "ui/ScanResultsView.h"
#include "ui/HeaderView.h"
#include "updates/AppUpdate.h"
#include "updates/BuildInfo.h"
#include "workflow/SettingsStore.h"

#include <QHeaderView>

namespace twinfold::test {

CannedResponse publishedVersion(const QString& version, const QString& notes, const QString& downloadURL)
{
    CannedResponse response;
    response.body = encodeAppUpdate({version, 1, downloadURL, notes, QStringLiteral("2024-05-01")});
    return response;
}

QString newerVersion()
{
    return buildVersionString() + QStringLiteral(".1");
}

WindowFixture::WindowFixture()
{
    setSettingsStoreFile(QString::fromStdString((settingsDir / "settings.ini").string()));
    // Nothing newer unless a test publishes it.
    server.respondWith(publishedVersion(buildVersionString()));
}

WindowFixture::~WindowFixture()
{
    window_.reset();
    updateVM_.reset();
    setSettingsStoreFile({});
}

void WindowFixture::openWindow()
{
    updateVM_ = std::make_unique<UpdateViewModel>(std::make_unique<UpdateCheckerService>(server.url()));
    window_ = std::make_unique<MainWindow>(*updateVM_);
    window_->setUrlOpener([](const QUrl&) {});
    view().resultsView()->setFileRevealer([](const std::vector<fs::path>&) {});
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
}

fs::path WindowFixture::stereoWav(const std::string& name, StereoKind kind, const PcmFormat& format,
                                  std::size_t frames)
{
    const fs::path path = library / name;
    writePcm(path, format, stereo(kind, frames, format.encoding, ++seed_));
    return path;
}

fs::path WindowFixture::monoWav(const std::string& name)
{
    const fs::path path = library / name;
    writePcm(path, kPcm16, {noise(4800, kPcm16.encoding, ++seed_)});
    return path;
}

fs::path WindowFixture::multichannelWav(const std::string& name, const ChannelPlan& plan)
{
    const fs::path path = library / name;
    writePcm(path, kPcm16, multichannel(plan, 4800, kPcm16.encoding, ++seed_));
    return path;
}

void WindowFixture::chooseFolder(const fs::path& folder)
{
    vm().setFolderChooser([folder] { return std::optional<fs::path>(folder); });
    click(view().header()->selectFolderButton());
    waitForScan();
}

void WindowFixture::waitForScan()
{
    ASSERT_TRUE(processEventsUntil([this] { return vm().scanState().kind == ScanState::Case::completed; }))
        << "the scan did not complete";
}

// A conversion is over once it has failed, or completed and the rescan
// that follows it has finished too.
void WindowFixture::waitForConversionToSettle()
{
    ASSERT_TRUE(processEventsUntil([this] {
        const auto& conversion = vm().conversionState();
        return !conversion.isConverting() && !vm().scanState().isScanning();
    }));
}

void WindowFixture::waitForUpdateCheck(qsizetype requests)
{
    ASSERT_TRUE(processEventsUntil(
        [&] { return server.requests().size() >= requests && !updateVM().isChecking(); }));
}

void WindowFixture::click(QAbstractButton* button)
{
    ASSERT_TRUE(button->isVisible()) << button->text().toStdString() << " is not on screen";
    QTest::mouseClick(button, Qt::LeftButton);
}

int WindowFixture::rowOf(const std::string& filename)
{
    const auto& results = vm().scanResults();
    for (std::size_t row = 0; row < results.size(); ++row) {
        if (results[row].fileInfo.filename == filename)
            return int(row);
    }
    return -1;
}

const ScanResult& WindowFixture::resultNamed(const std::string& filename)
{
    const int row = rowOf(filename);
    EXPECT_GE(row, 0) << filename << " is not among the results";
    return vm().scanResults().at(std::size_t(std::max(row, 0)));
}

void WindowFixture::clickCell(int row, int column, Qt::KeyboardModifiers modifiers)
{
    ResultsTable* table = view().resultsView()->table();
    const QModelIndex index = table->model()->index(row, column);
    table->scrollTo(index);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, table->visualRect(index).center());
}

}  // namespace twinfold::test
