#pragma once

#include "conversion/AudioConverterService.h"
#include "conversion/SoundFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace twinfold::test {

// A converter, a scratch folder and a record of the progress it reports.
class ConverterFixture : public ::testing::Test {
protected:
    TempDir dir;
    AudioConverterService converter;
    std::vector<double> progress;

    ProgressHandler recorder() {
        return [this](double fraction) { progress.push_back(fraction); };
    }

    // A stereo 16-bit WAV of random samples, different on each side.
    std::filesystem::path stereoSource(const std::string& name, std::size_t frames, unsigned seed = 1) {
        const auto path = dir / name;
        writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2,
                   interleave({randomSamples(frames, 16, seed), randomSamples(frames, 16, seed + 1)}));
        return path;
    }

    // Catches the converter's error and returns its case (fails the test when none).
    template <typename Operation>
    ConversionError::Case failureOf(Operation&& operation) {
        try {
            operation();
        } catch (const ConversionError& error) {
            return error.errorCase();
        }
        ADD_FAILURE() << "expected a ConversionError";
        return ConversionError::Case::writeError;
    }
};

// Fails unless each fraction is within rounding of the expected one.
inline void expectProgress(const std::vector<double>& actual, const std::vector<double>& expected) {
    ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
    for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-9) << "report " << i;
}

// Encodes a short stereo tone with the ffmpeg tool; false when it is missing.
bool encodeWithFfmpeg(const std::filesystem::path& path, double seconds = 0.5);

}  // namespace twinfold::test
