#include "analysis/EvidenceGatherer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace twinfold {

namespace {

constexpr std::int64_t columns = EvidencePictures::overviewColumns;
constexpr int gonioSize = EvidencePictures::goniometerSize;

float decibels(double linear) { return linear > 0 ? float(20.0 * std::log10(linear)) : minusInfinitydB; }

// The goniometer cell of a value in −1…1: 0 at −1, gonioSize − 1 at +1.
int cellOf(float value) {
    const float scaled = (value + 1.0f) * 0.5f * float(gonioSize);
    if (!(scaled > 0)) return 0;  // also NaN
    // Clamped before the conversion: a damaged float file can hold values
    // (infinities, 1e30) that no int can take.
    if (!(scaled < float(gonioSize))) return gonioSize - 1;
    return int(scaled);
}

// Pearson correlation from whole-file moments; 0 when a side does not vary.
double correlationOf(const StereoMoments& m) {
    if (m.frames < 1) return 0;
    const double n = double(m.frames);
    const double varL = m.sumSquaresL / n - (m.sumL / n) * (m.sumL / n);
    const double varR = m.sumSquaresR / n - (m.sumR / n) * (m.sumR / n);
    // Rounding noise of the float sums, not signal (as in the panned-mono test).
    if (!(varL > m.sumSquaresL / n * 1e-4) || !(varR > m.sumSquaresR / n * 1e-4)) return 0;
    const double covariance = m.dot / n - (m.sumL / n) * (m.sumR / n);
    return std::clamp(covariance / std::sqrt(varL * varR), -1.0, 1.0);
}

// One goniometer point for every stride-th frame of the file, wherever the
// runs break; `point(i)` gives frame i's mid and side, each in −1…1.
template <typename Point>
void addGoniometerPoints(std::vector<std::uint32_t>& goniometer, std::int64_t framesSeen, std::size_t n, Point point) {
    constexpr std::int64_t stride = EvidenceGatherer::goniometerStride;
    const std::int64_t offset = (stride - framesSeen % stride) % stride;
    for (std::size_t i = std::size_t(offset); i < n; i += stride) {
        const auto [mid, side] = point(i);
        const int row = gonioSize - 1 - cellOf(mid);  // row 0 is mid = +1
        ++goniometer[std::size_t(row * gonioSize + cellOf(side))];
    }
}

std::size_t firstDifferenceOf(const std::int16_t* a, const std::int16_t* b, std::size_t n) {
    if (n == 0 || std::memcmp(a, b, n * sizeof(std::int16_t)) == 0) return n;
    std::size_t i = 0;
    while (a[i] == b[i]) ++i;
    return i;
}

}  // namespace

OverviewBuilder::OverviewBuilder(std::int64_t totalFrames) : totalFrames_(std::max<std::int64_t>(totalFrames, 1)) {
    overview_.minima.assign(std::size_t(columns), std::numeric_limits<float>::infinity());
    overview_.maxima.assign(std::size_t(columns), -std::numeric_limits<float>::infinity());
}

OverviewBuilder::Span OverviewBuilder::nextSpan(std::size_t n) const {
    const std::int64_t column = std::min(position_ * columns / totalFrames_, columns - 1);
    if (column == columns - 1) return {std::size_t(column), n};
    // The first frame of the next column: ceil((column + 1) · total / columns).
    const std::int64_t next = ((column + 1) * totalFrames_ + columns - 1) / columns;
    return {std::size_t(column), std::min<std::size_t>(n, std::size_t(std::max<std::int64_t>(next - position_, 1)))};
}

void OverviewBuilder::add(const float* samples, std::size_t n) {
    while (n > 0) {
        const Span span = nextSpan(n);
        kernels::extendRange(samples, span.frames, minimum(span.column), maximum(span.column));
        samples += span.frames, n -= span.frames;
        advance(span.frames);
    }
}

float OverviewBuilder::peak() const {
    float peak = 0;
    for (std::size_t c = 0; c < overview_.minima.size(); ++c) {
        if (overview_.minima[c] > overview_.maxima[c]) continue;  // no frame here
        peak = std::max({peak, std::fabs(overview_.minima[c]), std::fabs(overview_.maxima[c])});
    }
    return peak;
}

ChannelOverview OverviewBuilder::take() {
    for (std::size_t c = 0; c < overview_.minima.size(); ++c) {
        if (overview_.minima[c] > overview_.maxima[c]) overview_.minima[c] = overview_.maxima[c] = 0;
    }
    return std::move(overview_);
}

EvidenceGatherer::EvidenceGatherer(int channelCount, std::int64_t totalFrames, float silenceThresholdLinear)
    : channelCount_(channelCount), threshold_(silenceThresholdLinear) {
    overviews_.assign(std::size_t(channelCount), OverviewBuilder(totalFrames));
    if (channelCount == 2) {
        goniometer_.assign(std::size_t(gonioSize * gonioSize), 0);
    } else {
        laneSums_.resize(std::size_t(channelCount));
        sums_.assign(std::size_t(channelCount), 0.0);
        sumSquares_.assign(std::size_t(channelCount), 0.0);
    }
}

void EvidenceGatherer::addPair(const float* left, const float* right, std::size_t n) {
    OverviewBuilder &l = overviews_[0], &r = overviews_[1];
    // Both channels share their columns: one fused pass per column.
    for (std::size_t done = 0; done < n;) {
        const OverviewBuilder::Span span = l.nextSpan(n - done);
        const std::size_t c = span.column;
        kernels::PairRange range{l.minimum(c), l.maximum(c), r.minimum(c),
                                 r.maximum(c), largestSum_,  largestDifference_};
        kernels::extendPairRange(left + done, right + done, span.frames, range);
        l.minimum(c) = range.loA, l.maximum(c) = range.hiA, r.minimum(c) = range.loB, r.maximum(c) = range.hiB;
        largestSum_ = range.sum, largestDifference_ = range.difference;
        l.advance(span.frames), r.advance(span.frames);
        done += span.frames;
    }
    if (!firstDifference_) {
        const std::size_t at = kernels::firstDifference(left, right, n);
        if (at < n) firstDifference_ = framesSeen_ + std::int64_t(at);
    }
    addGoniometerPoints(goniometer_, framesSeen_, n, [&](std::size_t i) {
        return std::pair{(left[i] + right[i]) * 0.5f, (left[i] - right[i]) * 0.5f};
    });
    framesSeen_ += std::int64_t(n);
}

void EvidenceGatherer::addPair16(const std::int16_t* left, const std::int16_t* right, std::size_t n) {
    // Every figure is an integer of at most 17 bits, so scaling it to full
    // scale 1.0 is exact: the same floats a float reading of the file gives.
    constexpr float scale = 0x1p-15f;
    OverviewBuilder &l = overviews_[0], &r = overviews_[1];
    for (std::size_t done = 0; done < n;) {
        const OverviewBuilder::Span span = l.nextSpan(n - done);
        const std::size_t c = span.column;
        kernels::Int16PairRange range;
        kernels::addInt16Pair(left + done, right + done, span.frames, range, sums16_);
        l.minimum(c) = std::min(l.minimum(c), float(range.loL) * scale);
        l.maximum(c) = std::max(l.maximum(c), float(range.hiL) * scale);
        r.minimum(c) = std::min(r.minimum(c), float(range.loR) * scale);
        r.maximum(c) = std::max(r.maximum(c), float(range.hiR) * scale);
        largestSum_ = std::max(largestSum_, float(range.largestSum) * scale);
        largestDifference_ = std::max(largestDifference_, float(range.largestDifference) * scale);
        l.advance(span.frames), r.advance(span.frames);
        done += span.frames;
    }
    if (!firstDifference_) {
        const std::size_t at = firstDifferenceOf(left, right, n);
        if (at < n) firstDifference_ = framesSeen_ + std::int64_t(at);
    }
    // cellOf((l ± r) / 65536) in integers: its float arithmetic is exact for
    // these values, so ((l ± r) / 65536 + 1) / 2 · gonioSize, rounded down,
    // is what it finds.
    static_assert(131072 % gonioSize == 0);
    const auto cell = [](int k) { return std::min((k + 65536) / (131072 / gonioSize), gonioSize - 1); };
    const std::int64_t offset = (goniometerStride - framesSeen_ % goniometerStride) % goniometerStride;
    for (std::size_t i = std::size_t(offset); i < n; i += goniometerStride) {
        const int x = left[i], y = right[i];
        ++goniometer_[std::size_t((gonioSize - 1 - cell(x + y)) * gonioSize + cell(x - y))];
    }
    framesSeen_ += std::int64_t(n);
}

void EvidenceGatherer::addChannels(const float* const* channels, std::size_t n) {
    for (int c = 0; c < channelCount_; ++c) {
        overviews_[std::size_t(c)].add(channels[c], n);
        laneSums_[std::size_t(c)].addIdentical(channels[c], n);
    }
    framesSeen_ += std::int64_t(n);
}

void EvidenceGatherer::endChunk() {
    if (laneSums_.empty()) return;
    for (std::size_t c = 0; c < laneSums_.size(); ++c) {
        const kernels::BlockSums chunk = laneSums_[c].takeChunk();
        sums_[c] += double(chunk.sumL);
        sumSquares_[c] += double(chunk.sumSquaresL);
    }
}

bool EvidenceGatherer::hasAudio(int channel) const {
    return framesSeen_ > 0 && overviews_[std::size_t(channel)].peak() > threshold_;
}

StereoMoments EvidenceGatherer::exactMoments() const {
    StereoMoments m;
    m.sumL = double(sums16_.sumL) * 0x1p-15, m.sumR = double(sums16_.sumR) * 0x1p-15;
    m.sumSquaresL = double(sums16_.squaresL) * 0x1p-30, m.sumSquaresR = double(sums16_.squaresR) * 0x1p-30;
    m.dot = double(sums16_.dot) * 0x1p-30;
    m.frames = framesSeen_;
    return m;
}

ChannelEvidence EvidenceGatherer::channelEvidence(int channel, double sum, double sumSquares,
                                                  std::int64_t frames) const {
    ChannelEvidence e;
    const float peak = overviews_[std::size_t(channel)].peak();
    e.peakdBFS = decibels(peak);
    e.isSilent = !(peak > threshold_);
    if (frames > 0) {
        e.rmsdBFS = decibels(std::sqrt(std::max(sumSquares, 0.0) / double(frames)));
        e.dcOffset = sum / double(frames);
    }
    return e;
}

FileEvidence EvidenceGatherer::evidence(const StereoMoments* moments, std::optional<double> panGain) const {
    FileEvidence e;
    if (channelCount_ == 2 && moments) {
        e.channels.push_back(channelEvidence(0, moments->sumL, moments->sumSquaresL, moments->frames));
        e.channels.push_back(channelEvidence(1, moments->sumR, moments->sumSquaresR, moments->frames));
        PairEvidence pair;
        pair.correlation = correlationOf(*moments);
        pair.maxDifferencedBFS = decibels(largestDifference_);
        pair.firstDifferingFrame = firstDifference_;
        pair.maxSumdBFS = decibels(largestSum_);
        if (panGain) pair.panGaindB = decibels(std::fabs(*panGain));
        e.pair = pair;
        return e;
    }
    for (int c = 0; c < int(sums_.size()); ++c)
        e.channels.push_back(channelEvidence(c, sums_[std::size_t(c)], sumSquares_[std::size_t(c)], framesSeen_));
    return e;
}

EvidencePictures EvidenceGatherer::takePictures() {
    EvidencePictures pictures;
    pictures.goniometer = std::move(goniometer_);
    for (OverviewBuilder& overview : overviews_) pictures.overviews.push_back(overview.take());
    return pictures;
}

}  // namespace twinfold
