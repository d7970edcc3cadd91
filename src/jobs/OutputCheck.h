#pragma once

// One output of a source compared, block by block, with the source channels
// it copies while the source is read once for the whole proof.

#include "audio_io/AudioFileReader.h"
#include "audio_io/PCMBuffer.h"
#include "jobs/OutputVerifier.h"
#include "jobs/SourceBlock.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace twinfold {

std::string nameOf(const std::filesystem::path& path);

// The file opened for the proof; VerificationError(unreadable) when it cannot be.
std::unique_ptr<AudioFileReader> openForCheck(const std::filesystem::path& path);

// The scaled-copy check of one output channel: every sample must lie within
// `tolerance` of gain × source. Each sample narrows the range of gains that
// explain it; at the end the gain the converter must have used has to be in
// that range.
struct GainRange {
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    float sourcePeak = 0;
    bool impossible = false;

    void add(double source, double output, double tolerance);

    bool admits(double gain) const;
    // No positive gain can explain the samples seen so far (the gain is
    // always positive, so this is an early and certain failure).
    bool empty() const;
};

// One output compared block by block while its source is read.
class OutputCheck {
public:
    OutputCheck(const ProvenOutput& entry, const SourceBlock& source, std::int64_t sourceLength,
                std::uint32_t capacity);

    void compare(const SourceBlock& source, std::int64_t firstFrame);

    // The gain check, once every sample has been seen.
    void finish() const;

private:
    using Case = VerificationError::Case;

    void requireShape(const SourceBlock& source, std::int64_t sourceLength) const;
    void readOutput(std::uint32_t frames);
    template <typename Sample>
    void compareBytes(const Sample* expected, const Sample* actual, std::uint32_t frames,
                      std::int64_t firstFrame) const;
    void compareScaled(const float* source, int k, std::uint32_t frames);
    double outputSample(int k, std::uint32_t n) const;
    [[noreturn]] void fail(Case errorCase, const std::string& detail = {}) const;

    const ProvenOutput& entry_;
    std::unique_ptr<AudioFileReader> reader_;
    bool outputIsInt_ = false;
    bool exactInts_ = false;
    bool exactFloats_ = false;
    double step_ = 0;
    IntPCMBuffer ints_;
    PCMBuffer floats_;
    std::vector<GainRange> ranges_;
};

}  // namespace twinfold
