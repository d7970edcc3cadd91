#include "WindowFixture.h"

#include "ui/ProgressRow.h"

#include <QLabel>

namespace twinfold::test {
namespace {

using WholeRoadTest = WindowFixture;

// Choose a folder, scan it, convert what is convertible with the originals
// moved to a backup folder, and see the folder scanned again.
TEST_F(WholeRoadTest, OpenScanConvertWithBackupAndRescan)
{
    const fs::path dual = stereoWav("Dual.wav", StereoKind::dualMono);
    const fs::path silent = stereoWav("Silent.wav", StereoKind::leftSilent);
    stereoWav("Wide.wav", StereoKind::trueStereo);
    const auto dualLeft = readStoredInts(dual).at(0);
    const auto silentRight = readStoredInts(silent).at(1);
    openWindow();

    chooseLibrary();
    ASSERT_EQ(vm().scanResults().size(), 3u);
    EXPECT_EQ(vm().selectedResultIDs(), (std::set<Uuid>{resultNamed("Dual.wav").id, resultNamed("Silent.wav").id}));

    // What the action bar said when the conversion finished, before the rescan.
    QString converted;
    QObject::connect(&vm(), &ScanViewModel::conversionStateChanged, &view(), [&] {
        if (vm().conversionState().kind == ConversionState::Case::completed && view().actionBar()->convertedLabel()->isVisibleTo(&view()))
            converted = view().actionBar()->convertedLabel()->text();
    });
    click(view().actionBar()->convertButton());
    EXPECT_TRUE(view().header()->convertingRow()->isVisible());
    waitForConversionToSettle();
    ASSERT_FALSE(vm().errorMessage().has_value()) << *vm().errorMessage();
    EXPECT_EQ(converted, "Converted 2 files");

    EXPECT_EQ(readStoredInts(library / "Dual_mono.wav"), std::vector<std::vector<std::int32_t>>{dualLeft});
    EXPECT_EQ(readStoredInts(library / "Silent_mono.wav"), std::vector<std::vector<std::int32_t>>{silentRight});
    EXPECT_FALSE(fs::exists(dual));
    EXPECT_FALSE(fs::exists(silent));
    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(library.path()))
        if (entry.is_directory())
            folders.push_back(entry.path());
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].filename().string().rfind("Twinfold Backup ", 0), 0u) << folders[0];
    EXPECT_TRUE(fs::exists(folders[0] / "Dual.wav"));
    EXPECT_TRUE(fs::exists(folders[0] / "Silent.wav"));

    // The rescan lists the new mono files, the untouched file and the backups.
    std::multiset<std::string> names;
    for (const ScanResult& result : vm().scanResults())
        names.insert(result.fileInfo.filename);
    EXPECT_EQ(names, (std::multiset<std::string>{"Dual.wav", "Dual_mono.wav", "Silent.wav", "Silent_mono.wav",
                                                  "Wide.wav"}));
    EXPECT_EQ(resultNamed("Dual_mono.wav").fileInfo.channelCount, 1);
    EXPECT_TRUE(vm().selectedResultIDs().empty()) << "the backed-up originals are not ticked again";
    EXPECT_TRUE(view().header()->selectFolderButton()->isEnabled());
}

}  // namespace
}  // namespace twinfold::test
