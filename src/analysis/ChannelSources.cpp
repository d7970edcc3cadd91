#include "analysis/ChannelSources.h"

#include "analysis/AnalysisError.h"

#include <algorithm>
#include <new>

namespace twinfold {

namespace {

// A buffer for every channel of `file`; running out of memory for it is a
// read error of the analysis, not a crash.
PCMBuffer makeBuffer(const AudioFileReader& file, std::uint32_t capacity) {
    if (file.channelCount() < 1) throw AnalysisError(AnalysisError::Case::readError);
    try {
        return PCMBuffer(file.channelCount(), capacity);
    } catch (const std::bad_alloc&) {
        throw AnalysisError(AnalysisError::Case::readError);
    } catch (const std::length_error&) {
        throw AnalysisError(AnalysisError::Case::readError);
    }
}

}  // namespace

StereoSource::StereoSource(std::unique_ptr<AudioFileReader> file, std::uint32_t capacity)
    : left_(std::move(file)), leftBuffer_(makeBuffer(*left_, capacity)) {
    if (leftBuffer_.channelCount() < 2) throw AnalysisError(AnalysisError::Case::readError);
}

StereoSource::StereoSource(std::unique_ptr<AudioFileReader> left, std::unique_ptr<AudioFileReader> right,
                           std::uint32_t capacity)
    : left_(std::move(left)),
      right_(std::move(right)),
      leftBuffer_(makeBuffer(*left_, capacity)),
      rightBuffer_(makeBuffer(*right_, capacity)) {}

void StereoSource::seek(std::int64_t frame) {
    left_->seek(frame);
    if (right_) right_->seek(frame);
}

std::uint32_t StereoSource::read(std::uint32_t n) {
    left_->read(leftBuffer_, n);
    const std::uint32_t frames = leftBuffer_.frameLength();
    if (right_) {
        right_->read(rightBuffer_, n);
        // A right file that ends early reads as silence, never as the
        // previous run's samples.
        float* r = rightBuffer_.channel(0);
        std::fill(r + std::min(rightBuffer_.frameLength(), frames), r + frames, 0.0f);
    }
    return frames;
}

const float* StereoSource::right() const { return right_ ? rightBuffer_.channel(0) : leftBuffer_.channel(1); }

MultichannelSource::MultichannelSource(std::unique_ptr<AudioFileReader> file, std::uint32_t capacity)
    : file_(std::move(file)),
      buffer_(makeBuffer(*file_, capacity)),
      channelPointers_(new const float*[std::size_t(buffer_.channelCount())]) {
    for (int c = 0; c < buffer_.channelCount(); ++c) channelPointers_[std::size_t(c)] = buffer_.channel(c);
}

std::uint32_t MultichannelSource::read(std::uint32_t n) {
    file_->read(buffer_, n);
    return buffer_.frameLength();
}

}  // namespace twinfold
