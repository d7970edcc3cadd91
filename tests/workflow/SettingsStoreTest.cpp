#include "workflow/SettingsStore.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QStandardPaths>

#include <bit>
#include <cstdint>
#include <limits>

namespace twinfold {
namespace {

// Every test works on its own INI file, never on the user's settings.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        QStandardPaths::setTestModeEnabled(true);
        setSettingsStoreFile(file);
    }
    QVariant storedValue(const QString& key) const { return QSettings(file, QSettings::IniFormat).value(key); }

    test::TempDir dir;
    QString file = QString::fromStdString((dir / "settings.ini").string());
};

AppSettings customRecord() {
    return {.namingSuffix = "_M \"1\" \\ \n\t\x01 \xC3\xA9",
            .originalFileHandling = OriginalFileHandling::leaveInPlace,
            .normalizationEnabled = true,
            .normalizationTargetdBFS = 3.0f,
            .silenceThresholddBFS = 0.0f,
            .includePanInFilename = true,
            .nameSplitsByTrackName = true,
            .checkForUpdatesOnLaunch = false,
            .skippedUpdateVersion = "2.1.0",
            .resultsSortColumn = "size",
            .resultsSortAscending = false,
            .showFolderColumn = false};
}

// A document and its settings (nullopt: the decode fails).
using DecodeCase = std::pair<const char*, std::optional<AppSettings>>;

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesOrFailsAsAWhole) {
    EXPECT_EQ(decodeAppSettings(GetParam().first), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DecodeTest,
    ::testing::Values(
        DecodeCase{"{}", AppSettings{}}, DecodeCase{R"({"namingSuffix":"_m"})", AppSettings{.namingSuffix = "_m"}},
        DecodeCase{R"({"originalFileHandling":"Delete originals"})",
                   AppSettings{.originalFileHandling = OriginalFileHandling::deleteOriginals}},
        DecodeCase{R"({"originalFileHandling":"Move originals to backup folder"})", AppSettings{}},
        DecodeCase{R"({"originalFileHandling":"delete"})", {}}, DecodeCase{R"({"normalizationEnabled":"true"})", {}},
        DecodeCase{R"({"normalizationEnabled":1})", {}}, DecodeCase{R"({"normalizationTargetdBFS":"-3"})", {}},
        DecodeCase{R"({"namingSuffix":5})", {}}, DecodeCase{R"({"skippedUpdateVersion":2})", {}},
        DecodeCase{R"({"silenceThresholddBFS":1e300})", {}},
        DecodeCase{R"({"namingSuffix":null,"skippedUpdateVersion":null,"normalizationEnabled":null})", AppSettings{}},
        DecodeCase{R"({"normalizationTargetdBFS":3,"silenceThresholddBFS":0})",
                   AppSettings{.normalizationTargetdBFS = 3.0f, .silenceThresholddBFS = 0.0f}},
        DecodeCase{R"({"skippedUpdateVersion":"2.0","somethingNewer":[1]})",
                   AppSettings{.skippedUpdateVersion = "2.0"}},
        DecodeCase{"[]", {}}, DecodeCase{"", {}}, DecodeCase{"{\"namingSuffix\":", {}}));

TEST_F(SettingsStoreTest, UndecodableRecordLoadsAsDefaultsAndStaysStored) {
    const QByteArray bad = R"({"namingSuffix":"_x","originalFileHandling":"delete"})";
    QSettings(file, QSettings::IniFormat).setValue("TwinfoldSettings", bad);
    EXPECT_EQ(loadAppSettings(), AppSettings{});
    EXPECT_EQ(storedValue("TwinfoldSettings").toByteArray(), bad);
}

// Floats that need every one of their nine digits, and the extremes.
TEST(SettingsEncoding, FloatsSurviveToTheBit) {
    for (const float value : {0.1f, -6.0206f, 1.17549435e-38f, 1.4e-45f, 3.40282347e38f, -96.0f}) {
        const auto back = decodeAppSettings(encodeAppSettings({.normalizationTargetdBFS = value}));
        ASSERT_TRUE(back) << value;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(back->normalizationTargetdBFS), std::bit_cast<std::uint32_t>(value));
    }
}

TEST_F(SettingsStoreTest, SaveThenLoadReturnsTheSameRecordBesideTheLossyNoticeFlag) {
    EXPECT_EQ(loadAppSettings(), AppSettings{});
    EXPECT_FALSE(hideLossyFormatNotice());
    saveAppSettings(customRecord());
    EXPECT_EQ(loadAppSettings(), customRecord());
    const AppSettings withoutVersion{.originalFileHandling = OriginalFileHandling::deleteOriginals};
    saveAppSettings(withoutVersion);
    setHideLossyFormatNotice(true);
    EXPECT_TRUE(hideLossyFormatNotice() && storedValue("hideLossyFormatNotice").toBool());
    EXPECT_EQ(loadAppSettings(), withoutVersion);
}

TEST_F(SettingsStoreTest, UnencodableRecordLeavesTheStoredOneInPlace) {
    saveAppSettings(customRecord());
    for (const AppSettings& s : {AppSettings{.namingSuffix = "_\xFF"},
                                 AppSettings{.normalizationTargetdBFS = std::numeric_limits<float>::quiet_NaN()}}) {
        EXPECT_TRUE(encodeAppSettings(s).isEmpty());
        saveAppSettings(s);
        EXPECT_EQ(loadAppSettings(), customRecord());
    }
}

}  // namespace
}  // namespace twinfold
