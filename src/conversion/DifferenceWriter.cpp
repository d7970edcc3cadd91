#include "conversion/DifferenceWriter.h"

#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioFileWriter.h"
#include "conversion/OutputCommit.h"

#include <memory>
#include <stdexcept>
#include <system_error>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t blockFrames = 65536;

// What the difference file holds, per frame: a·left + b·right.
struct Mix {
    double left = 1, right = -1;
};

// The two channels of a stereo file, or the two files of a split pair.
class PairReader {
public:
    explicit PairReader(const ScanResult& result) {
        left_ = openAudioFile(result.fileInfo.path);
        if (result.pairedFilePath) right_ = openAudioFile(*result.pairedFilePath);
        const int channels = right_ ? left_->channelCount() + right_->channelCount() : left_->channelCount();
        if (channels != 2) throw std::runtime_error("the source does not have two channels");
        leftBuffer_.reset(left_->channelCount(), blockFrames);
        if (right_) rightBuffer_.reset(right_->channelCount(), blockFrames);
    }
    double sampleRate() const { return left_->sampleRate(); }
    void rewind() {
        left_->seek(0);
        if (right_) right_->seek(0);
    }
    // Frames read (0 at the end); left() and right() point at them.
    std::uint32_t read() {
        left_->read(leftBuffer_, blockFrames);
        if (!right_) return leftBuffer_.frameLength();
        right_->read(rightBuffer_, blockFrames);
        return std::min(leftBuffer_.frameLength(), rightBuffer_.frameLength());
    }
    const float* left() const { return leftBuffer_.channel(0); }
    const float* right() const { return right_ ? rightBuffer_.channel(0) : leftBuffer_.channel(1); }

private:
    std::unique_ptr<AudioFileReader> left_, right_;
    PCMBuffer leftBuffer_, rightBuffer_;
};

// dropped ≈ gain × kept, least squares over the whole file in double.
double panGain(PairReader& reader, bool leftKept) {
    double dot = 0, keptSquares = 0;
    for (std::uint32_t n; (n = reader.read()) > 0;) {
        const float* kept = leftKept ? reader.left() : reader.right();
        const float* dropped = leftKept ? reader.right() : reader.left();
        for (std::uint32_t i = 0; i < n; ++i) {
            dot += double(dropped[i]) * double(kept[i]);
            keptSquares += double(kept[i]) * double(kept[i]);
        }
    }
    reader.rewind();
    return keptSquares > 0 ? dot / keptSquares : 0.0;
}

Mix mixFor(const ScanResult& result, PairReader& reader) {
    if (result.isPannedMono && result.pannedMonoLouderChannel) {
        const bool leftKept = *result.pannedMonoLouderChannel == ChannelSelection::left;
        const double gain = panGain(reader, leftKept);
        return leftKept ? Mix{-gain, 1} : Mix{1, -gain};
    }
    if (result.isPhaseInverted) return {1, 1};
    // A silent side is what the conversion drops: show it as it is.
    if (result.silentChannel == SilentChannelStatus::right) return {0, 1};
    if (result.silentChannel == SilentChannelStatus::left) return {1, 0};
    return {1, -1};
}

void writeMix(PairReader& reader, const Mix& mix, const fs::path& path) {
    WriterSettings settings;
    settings.sampleRate = reader.sampleRate();
    settings.channelCount = 1;
    settings.bitDepth = 32;
    settings.isFloat = true;
    settings.container = ContainerType::wave;
    auto writer = createAudioFile(path, settings);
    PCMBuffer out(1, blockFrames);
    for (std::uint32_t n; (n = reader.read()) > 0;) {
        float* o = out.channel(0);
        const float *l = reader.left(), *r = reader.right();
        for (std::uint32_t i = 0; i < n; ++i) o[i] = float(mix.left * double(l[i]) + mix.right * double(r[i]));
        out.setFrameLength(n);
        writer->write(out);
    }
    writer->close();
}

}  // namespace

bool hasDifference(const ScanResult& result) {
    if (result.unreadableReason) return false;
    const bool twoChannels = result.pairedFilePath ? true : result.fileInfo.channelCount == 2;
    if (!twoChannels) return false;
    std::error_code error;
    if (!fs::is_regular_file(result.fileInfo.path, error)) return false;
    return !result.pairedFilePath || fs::is_regular_file(*result.pairedFilePath, error);
}

void writeDifferenceWav(const ScanResult& result, const fs::path& output) {
    std::error_code error;
    if (fs::symlink_status(output, error).type() != fs::file_type::not_found)
        throw std::runtime_error(output.string() + ": a file of that name already exists");
    fs::path temporary;
    try {
        if (!hasDifference(result)) throw std::runtime_error("the source is not a readable stereo file or pair");
        PairReader reader(result);
        const Mix mix = mixFor(result, reader);
        temporary = temporaryPathFor(output);
        writeMix(reader, mix, temporary);
        commitTemporary(temporary, output);  // never replaces; removes the temporary on failure
    } catch (const std::exception& failure) {
        if (!temporary.empty()) fs::remove(temporary, error);
        throw std::runtime_error(output.string() + ": " + failure.what());
    }
}

}  // namespace twinfold
