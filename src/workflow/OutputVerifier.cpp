#include "workflow/OutputVerifier.h"

#include "audio_io/AudioFileReader.h"
#include "conversion/ChannelStreamer.h"
#include "conversion/OutputFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUntouched = " No original was moved or deleted.";
// Integers are left-justified in 32 bits: full scale is 2^31.
constexpr double kIntScale = 1.0 / 2147483648.0;
// Room for the float arithmetic of scaling and of the float decode, relative
// to the sample: a few float roundings, far below any real difference.
constexpr double kRelativeSlack = 1.0 / (1 << 20);
// Relative room for the gain itself (the same formula computed twice).
constexpr double kGainSlack = 1e-6;

std::string nameOf(const fs::path& path) { return path.filename().string(); }

std::string messageFor(VerificationError::Case errorCase, const std::string& name, const std::string& detail) {
    using Case = VerificationError::Case;
    std::string text = "Verification failed: ";
    switch (errorCase) {
    case Case::unreadable: text += "cannot read " + name + ": " + detail + "."; break;
    case Case::formatMismatch: text += name + " does not have the channels or sample rate of its source."; break;
    case Case::depthMismatch: text += name + " has fewer bits per sample than its source" + detail + "."; break;
    case Case::lengthMismatch: text += name + " " + detail + "."; break;
    case Case::sampleMismatch: text += name + " does not match its source" + detail + "."; break;
    }
    return text + kUntouched;
}

// The fewest bits per sample an integer output may have without losing
// resolution the source's samples carry.
int bitsNeededFor(const AudioFileReader& source) {
    if (deliversStoredIntegers(source)) return source.fileFormat().bitsPerChannel;
    return 24;
}

std::unique_ptr<AudioFileReader> openForCheck(const fs::path& path) {
    try {
        return openAudioFile(path);
    } catch (const std::exception& error) {
        throw VerificationError(VerificationError::Case::unreadable, nameOf(path), error.what());
    }
}

// One chunk of the source, as integers (integer PCM) or as floats.
struct SourceChunk {
    bool isInt = false;
    IntPCMBuffer ints;
    PCMBuffer floats;

    // The sample as the converter's float path sees it: an integer goes
    // through float, exactly as the converter scales it.
    double value(int channel, std::uint32_t frame) const {
        if (!isInt) return double(floats.channel(channel)[frame]);
        return double(float(ints.channel(channel)[frame])) * kIntScale;
    }
};

// The scaled-copy check of one output channel: every sample must lie within
// `tolerance` of gain × source. Each sample narrows the range of gains that
// explain it; at the end the gain the converter must have used has to be in
// that range.
struct GainRange {
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    float sourcePeak = 0;
    bool impossible = false;

    void add(double source, double output, double tolerance, bool clippedHigh, bool clippedLow) {
        sourcePeak = std::max(sourcePeak, float(std::fabs(source)));
        if (source == 0) {
            impossible |= std::fabs(output) > tolerance;
            return;
        }
        // A clipped output only says that gain × source reached full scale.
        const double below = clippedLow ? -std::numeric_limits<double>::infinity() : output - tolerance;
        const double above = clippedHigh ? std::numeric_limits<double>::infinity() : output + tolerance;
        const double a = below / source;
        const double b = above / source;
        low = std::max(low, std::min(a, b));
        high = std::min(high, std::max(a, b));
    }

    bool admits(double gain) const {
        return !impossible && low <= gain * (1 + kGainSlack) && high >= gain * (1 - kGainSlack);
    }
    // No positive gain can explain the samples seen so far (the gain is
    // always positive, so this is an early and certain failure).
    bool empty() const { return impossible || high <= 0 || low > high * (1 + 4 * kGainSlack); }
};

// One output compared chunk by chunk while its source is read.
class OutputCheck {
public:
    OutputCheck(const OutputProvenance& entry, const AudioFileReader& source, bool sourceIsInt)
        : entry_(entry), reader_(openForCheck(entry.output)) {
        requireShape(source);
        outputIsInt_ = deliversStoredIntegers(*reader_);
        exact_ = sourceIsInt && outputIsInt_ && !entry.targetdBFS;
        const int bits = outputIsInt_ ? reader_->fileFormat().bitsPerChannel : 24;
        if (outputIsInt_ && bits < bitsNeededFor(source)) {
            fail(VerificationError::Case::depthMismatch,
                 " (" + std::to_string(bits) + " instead of " + std::to_string(bitsNeededFor(source)) + ")");
        }
        step_ = std::ldexp(1.0, -(std::clamp(bits, 8, 32) - 1));
        ranges_.resize(entry.sourceChannels.size());
        const int channels = int(entry.sourceChannels.size());
        if (outputIsInt_) ints_.reset(channels, OutputVerifier::chunkFrames);
        else floats_.reset(channels, OutputVerifier::chunkFrames);
    }

    void compare(const SourceChunk& source, std::uint32_t frames, std::int64_t firstFrame) {
        readOutput(frames);
        for (std::size_t k = 0; k < entry_.sourceChannels.size(); ++k) {
            if (exact_) compareExact(source, int(k), frames, firstFrame);
            else compareScaled(source, int(k), frames);
        }
    }

    // The gain check, once every sample has been seen.
    void finish() const {
        for (const GainRange& range : ranges_) {
            std::optional<float> gain;
            if (entry_.targetdBFS) gain = normalizationGain(*entry_.targetdBFS, range.sourcePeak);
            if (!range.admits(gain.value_or(1.0f))) fail(VerificationError::Case::sampleMismatch);
        }
    }

private:
    void requireShape(const AudioFileReader& source) const {
        const int sourceChannels = source.channelCount();
        const bool channelsFit = reader_->channelCount() == int(entry_.sourceChannels.size()) &&
                                 std::all_of(entry_.sourceChannels.begin(), entry_.sourceChannels.end(),
                                             [&](int c) { return c >= 0 && c < sourceChannels; });
        if (!channelsFit || reader_->sampleRate() != source.sampleRate()) {
            fail(VerificationError::Case::formatMismatch);
        }
        if (reader_->length() != source.length()) {
            fail(VerificationError::Case::lengthMismatch, "has " + std::to_string(reader_->length()) +
                                                              " frames, its source " +
                                                              std::to_string(source.length()));
        }
    }

    void readOutput(std::uint32_t frames) {
        try {
            if (outputIsInt_) reader_->readInt(ints_, frames);
            else reader_->read(floats_, frames);
        } catch (const std::exception& error) {
            fail(VerificationError::Case::unreadable, error.what());
        }
        const std::uint32_t got = outputIsInt_ ? ints_.frameLength() : floats_.frameLength();
        if (got != frames) fail(VerificationError::Case::lengthMismatch, "ends before its source does");
    }

    void compareExact(const SourceChunk& source, int k, std::uint32_t frames, std::int64_t firstFrame) const {
        const std::int32_t* expected = source.ints.channel(entry_.sourceChannels[std::size_t(k)]);
        const std::int32_t* actual = ints_.channel(k);
        if (std::memcmp(expected, actual, frames * sizeof(std::int32_t)) == 0) return;
        const auto mismatch = std::mismatch(expected, expected + frames, actual);
        fail(VerificationError::Case::sampleMismatch,
             " at frame " + std::to_string(firstFrame + (mismatch.first - expected)));
    }

    void compareScaled(const SourceChunk& source, int k, std::uint32_t frames) {
        GainRange& range = ranges_[std::size_t(k)];
        const int sourceChannel = entry_.sourceChannels[std::size_t(k)];
        const double top = 1.0 - step_;
        for (std::uint32_t n = 0; n < frames; ++n) {
            const double output = outputSample(k, n);
            const double tolerance = step_ + std::fabs(output) * kRelativeSlack;
            const bool clippedHigh = outputIsInt_ && output >= top;
            const bool clippedLow = outputIsInt_ && output <= -1.0;
            range.add(source.value(sourceChannel, n), output, tolerance, clippedHigh, clippedLow);
        }
        if (range.empty()) fail(VerificationError::Case::sampleMismatch);
    }

    double outputSample(int k, std::uint32_t n) const {
        return outputIsInt_ ? double(ints_.channel(k)[n]) * kIntScale : double(floats_.channel(k)[n]);
    }

    [[noreturn]] void fail(VerificationError::Case errorCase, const std::string& detail = {}) const {
        throw VerificationError(errorCase, nameOf(entry_.output), detail);
    }

    const OutputProvenance& entry_;
    std::unique_ptr<AudioFileReader> reader_;
    bool outputIsInt_ = false;
    bool exact_ = false;
    double step_ = 0;
    IntPCMBuffer ints_;
    PCMBuffer floats_;
    std::vector<GainRange> ranges_;
};

void readSource(AudioFileReader& reader, SourceChunk& chunk, std::uint32_t frames, const fs::path& path) {
    try {
        if (chunk.isInt) reader.readInt(chunk.ints, frames);
        else reader.read(chunk.floats, frames);
    } catch (const std::exception& error) {
        throw VerificationError(VerificationError::Case::unreadable, nameOf(path), error.what());
    }
    const std::uint32_t got = chunk.isInt ? chunk.ints.frameLength() : chunk.floats.frameLength();
    if (got != frames) {
        throw VerificationError(VerificationError::Case::unreadable, nameOf(path), "the file ended early");
    }
}

// Reads one source once and compares every output made from it.
bool verifySource(const fs::path& source, const std::vector<const OutputProvenance*>& entries,
                  const std::atomic<bool>& cancelled, const std::function<void(double)>& progress) {
    auto reader = openForCheck(source);
    SourceChunk chunk;
    chunk.isInt = deliversStoredIntegers(*reader);
    std::vector<OutputCheck> checks;
    checks.reserve(entries.size());
    for (const OutputProvenance* entry : entries) checks.emplace_back(*entry, *reader, chunk.isInt);
    if (chunk.isInt) chunk.ints.reset(reader->channelCount(), OutputVerifier::chunkFrames);
    else chunk.floats.reset(reader->channelCount(), OutputVerifier::chunkFrames);
    const std::int64_t length = reader->length();
    for (std::int64_t done = 0; done < length;) {
        if (cancelled.load()) return false;
        const auto frames = std::uint32_t(std::min<std::int64_t>(OutputVerifier::chunkFrames, length - done));
        readSource(*reader, chunk, frames, source);
        for (OutputCheck& check : checks) check.compare(chunk, frames, done);
        done += frames;
        if (progress) progress(double(done) / double(length));
    }
    for (const OutputCheck& check : checks) check.finish();
    return true;
}

}  // namespace

VerificationError::VerificationError(Case errorCase, std::string fileName, const std::string& detail)
    : std::runtime_error(messageFor(errorCase, fileName, detail)), case_(errorCase), fileName_(std::move(fileName)) {}

bool OutputVerifier::verify(const std::vector<OutputProvenance>& outputs, const std::atomic<bool>& cancelled,
                            const Progress& progress) {
    // Sources in the order their first output was written.
    std::vector<fs::path> order;
    std::map<fs::path, std::vector<const OutputProvenance*>> bySource;
    for (const OutputProvenance& entry : outputs) {
        auto& list = bySource[entry.source];
        if (list.empty()) order.push_back(entry.source);
        list.push_back(&entry);
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::string name = nameOf(order[i]);
        auto report = [&](double fraction) {
            if (progress) progress(i, order.size(), name, fraction);
        };
        report(0);
        if (!verifySource(order[i], bySource[order[i]], cancelled, report)) return false;
    }
    return !cancelled.load();
}

}  // namespace twinfold
