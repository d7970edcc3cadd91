#include "jobs/OutputCheck.h"

#include "conversion/ChannelStreamer.h"
#include "conversion/OutputFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

// Integers are left-justified in 32 bits: full scale is 2^31.
constexpr double kIntScale = 1.0 / 2147483648.0;
// Room for the float arithmetic of scaling and of the float decode, relative
// to the sample: a few float roundings, far below any real difference.
constexpr double kRelativeSlack = 1.0 / (1 << 20);
// Relative room for the gain itself (the same formula computed twice).
constexpr double kGainSlack = 1e-6;

using Case = VerificationError::Case;

// The fewest bits per sample an integer output may have without losing
// resolution the source's samples carry.
int bitsNeededFor(const AudioFileReader& source) {
    if (deliversStoredIntegers(source)) return source.fileFormat().bitsPerChannel;
    return 24;
}

}  // namespace

std::string nameOf(const fs::path& path) { return path.filename().string(); }

std::unique_ptr<AudioFileReader> openForCheck(const fs::path& path) {
    try {
        return openAudioFile(path);
    } catch (const std::exception& error) {
        throw VerificationError(Case::unreadable, nameOf(path), error.what());
    }
}

void GainRange::add(double source, double output, double tolerance) {
    sourcePeak = std::max(sourcePeak, float(std::fabs(source)));
    if (source == 0) {
        impossible |= std::fabs(output) > tolerance;
        return;
    }
    const double a = (output - tolerance) / source;
    const double b = (output + tolerance) / source;
    low = std::max(low, std::min(a, b));
    high = std::min(high, std::max(a, b));
}

bool GainRange::admits(double gain) const {
    return !impossible && low <= gain * (1 + kGainSlack) && high >= gain * (1 - kGainSlack);
}

bool GainRange::empty() const { return impossible || high <= 0 || low > high * (1 + 4 * kGainSlack); }

OutputCheck::OutputCheck(const ProvenOutput& entry, const SourceBlock& source, std::int64_t sourceLength,
                         std::uint32_t capacity)
    : entry_(entry), reader_(openForCheck(entry.path)) {
    requireShape(source, sourceLength);
    const AudioFileReader& file = source.reader(source.fileOf(entry.sourceChannels.front()));
    const bool sourceIsInt = deliversStoredIntegers(file);
    outputIsInt_ = deliversStoredIntegers(*reader_);
    const bool outputIsFloat = reader_->fileFormat().commonFormat == CommonFormat::float32 ||
                               reader_->fileFormat().commonFormat == CommonFormat::float64;
    const bool sourceIsFloat = file.fileFormat().formatID == kFormatLinearPCM && !sourceIsInt;
    exactInts_ = sourceIsInt && outputIsInt_ && !entry.targetdBFS;
    exactFloats_ = sourceIsFloat && outputIsFloat && !entry.targetdBFS;
    const int bits = outputIsInt_ ? reader_->fileFormat().bitsPerChannel : 24;
    if (outputIsInt_ && bits < bitsNeededFor(file)) {
        fail(Case::depthMismatch,
             " (" + std::to_string(bits) + " instead of " + std::to_string(bitsNeededFor(file)) + ")");
    }
    step_ = std::ldexp(1.0, -(std::clamp(bits, 8, 32) - 1));
    ranges_.resize(entry.sourceChannels.size());
    const int channels = int(entry.sourceChannels.size());
    if (outputIsInt_)
        ints_.reset(channels, capacity);
    else
        floats_.reset(channels, capacity);
}

void OutputCheck::compare(const SourceBlock& source, std::int64_t firstFrame) {
    const std::uint32_t frames = source.frames();
    readOutput(frames);
    for (std::size_t k = 0; k < entry_.sourceChannels.size(); ++k) {
        const int channel = entry_.sourceChannels[k];
        if (exactInts_)
            compareBytes(source.ints(channel), ints_.channel(int(k)), frames, firstFrame);
        else if (exactFloats_)
            compareBytes(source.floats(channel), floats_.channel(int(k)), frames, firstFrame);
        else
            compareScaled(source.floats(channel), int(k), frames);
    }
}

void OutputCheck::finish() const {
    for (const GainRange& range : ranges_) {
        if (exactInts_ || exactFloats_) continue;
        std::optional<float> gain;
        if (entry_.targetdBFS) gain = normalizationGain(*entry_.targetdBFS, range.sourcePeak);
        if (!range.admits(gain.value_or(1.0f))) fail(Case::sampleMismatch);
    }
}

void OutputCheck::requireShape(const SourceBlock& source, std::int64_t sourceLength) const {
    const int sourceChannels = source.channelCount();
    const bool channelsFit = !entry_.sourceChannels.empty() &&
                             reader_->channelCount() == int(entry_.sourceChannels.size()) &&
                             std::all_of(entry_.sourceChannels.begin(), entry_.sourceChannels.end(),
                                         [&](int c) { return c >= 0 && c < sourceChannels; });
    if (!channelsFit || reader_->sampleRate() != source.reader(0).sampleRate()) fail(Case::formatMismatch);
    if (reader_->length() != sourceLength) {
        fail(Case::lengthMismatch,
             "has " + std::to_string(reader_->length()) + " frames, its source " + std::to_string(sourceLength));
    }
}

void OutputCheck::readOutput(std::uint32_t frames) {
    try {
        if (outputIsInt_)
            reader_->readInt(ints_, frames);
        else
            reader_->read(floats_, frames);
    } catch (const std::exception& error) {
        fail(Case::unreadable, error.what());
    }
    const std::uint32_t got = outputIsInt_ ? ints_.frameLength() : floats_.frameLength();
    if (got != frames) fail(Case::lengthMismatch, "ends before its source does");
}

template <typename Sample>
void OutputCheck::compareBytes(const Sample* expected, const Sample* actual, std::uint32_t frames,
                               std::int64_t firstFrame) const {
    if (std::memcmp(expected, actual, frames * sizeof(Sample)) == 0) return;
    std::uint32_t n = 0;
    while (n < frames && std::memcmp(expected + n, actual + n, sizeof(Sample)) == 0) ++n;
    fail(Case::sampleMismatch, " at frame " + std::to_string(firstFrame + n));
}

// Within one step of gain × source; a clipped sample is as wrong as any
// other, since the source's value is lost with it.
void OutputCheck::compareScaled(const float* source, int k, std::uint32_t frames) {
    GainRange& range = ranges_[std::size_t(k)];
    for (std::uint32_t n = 0; n < frames; ++n) {
        const double output = outputSample(k, n);
        range.add(double(source[n]), output, step_ + std::fabs(output) * kRelativeSlack);
    }
    if (range.empty()) fail(Case::sampleMismatch);
}

double OutputCheck::outputSample(int k, std::uint32_t n) const {
    return outputIsInt_ ? double(ints_.channel(k)[n]) * kIntScale : double(floats_.channel(k)[n]);
}

void OutputCheck::fail(Case errorCase, const std::string& detail) const {
    throw VerificationError(errorCase, nameOf(entry_.path), detail);
}

}  // namespace twinfold
