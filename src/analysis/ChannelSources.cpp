#include "analysis/ChannelSources.h"

#include "analysis/AnalysisError.h"

#include <algorithm>
#include <new>

namespace twinfold {

namespace {

// A buffer for every channel of `file`; running out of memory for it is a
// read error of the analysis, not a crash.
template <typename Sample = float>
PlanarBuffer<Sample> makeBuffer(const AudioFileReader& file, std::uint32_t capacity) {
    if (file.channelCount() < 1) throw AnalysisError(AnalysisError::Case::readError);
    try {
        return PlanarBuffer<Sample>(file.channelCount(), capacity);
    } catch (const std::bad_alloc&) {
        throw AnalysisError(AnalysisError::Case::readError);
    } catch (const std::length_error&) {
        throw AnalysisError(AnalysisError::Case::readError);
    }
}

// Linear PCM stored as 16-bit integers, which readInt16 hands over unchanged.
bool isInt16(const AudioFileReader& file) {
    const AudioFormatInfo& f = file.fileFormat();
    return f.commonFormat == CommonFormat::int16 && f.formatID == kFormatLinearPCM && !f.isFloat;
}

}  // namespace

StereoSource::StereoSource(std::unique_ptr<AudioFileReader> file, std::uint32_t capacity)
    : left_(std::move(file)), leftBuffer_(makeBuffer(*left_, capacity)), storesInt16_(isInt16(*left_)) {
    if (leftBuffer_.channelCount() < 2) throw AnalysisError(AnalysisError::Case::readError);
    if (storesInt16_) leftInts_ = makeBuffer<std::int16_t>(*left_, capacity);
}

StereoSource::StereoSource(std::unique_ptr<AudioFileReader> left, std::unique_ptr<AudioFileReader> right,
                           std::uint32_t capacity)
    : left_(std::move(left)),
      right_(std::move(right)),
      leftBuffer_(makeBuffer(*left_, capacity)),
      rightBuffer_(makeBuffer(*right_, capacity)),
      storesInt16_(isInt16(*left_) && isInt16(*right_)) {
    if (!storesInt16_) return;
    leftInts_ = makeBuffer<std::int16_t>(*left_, capacity);
    rightInts_ = makeBuffer<std::int16_t>(*right_, capacity);
}

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

std::uint32_t StereoSource::readInt16(std::uint32_t n) {
    left_->readInt16(leftInts_, n);
    const std::uint32_t frames = leftInts_.frameLength();
    if (right_) {
        right_->readInt16(rightInts_, n);
        std::int16_t* r = rightInts_.channel(0);
        std::fill(r + std::min(rightInts_.frameLength(), frames), r + frames, std::int16_t(0));
    }
    return frames;
}

const std::int16_t* StereoSource::right16() const { return right_ ? rightInts_.channel(0) : leftInts_.channel(1); }

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
