#include "analysis/PannedMono.h"

#include <algorithm>
#include <cmath>

namespace twinfold {

void StereoMoments::addChunk(const kernels::ChunkSums& chunk, std::uint64_t chunkFrames) {
    sumL += double(chunk.sumL);
    sumR += double(chunk.sumR);
    sumSquaresL += double(chunk.sumSquaresL);
    sumSquaresR += double(chunk.sumSquaresR);
    dot += double(chunk.dot);
    frames += std::int64_t(chunkFrames);
}

namespace {

// A negative variance is rounding error on a constant channel: treat it as
// none, so it cannot turn into a NaN level or correlation further on.
double varianceOf(double sum, double sumSquares, double n) {
    double mean = sum / n;
    return std::max(0.0, sumSquares / n - mean * mean);
}

int panPercentFor(double quiet, double loud) {
    // std::round takes halves away from zero; equal levels still show as 1.
    double percent = std::round((1.0 - quiet / loud) * 100.0);
    return std::max(1, int(percent));
}

}  // namespace

std::optional<PannedMonoVerdict> decidePannedMono(const StereoMoments& m, std::int64_t totalFrames) {
    if (totalFrames < minimumPannedMonoFrames || m.frames < 1) return std::nullopt;
    const double n = double(m.frames);
    const double varL = varianceOf(m.sumL, m.sumSquaresL, n);
    const double varR = varianceOf(m.sumR, m.sumSquaresR, n);
    const double denominator = std::sqrt(varL * varR);
    // Written as "not greater" so a NaN (from NaN samples) means "not panned".
    if (!(denominator > 1e-10)) return std::nullopt;
    const double covariance = m.dot / n - (m.sumL / n) * (m.sumR / n);
    const float correlation = float(covariance / denominator);
    if (!(correlation >= pannedMonoCorrelationThreshold)) return std::nullopt;

    const double levelL = std::sqrt(varL), levelR = std::sqrt(varR);
    const bool rightLouder = levelR > levelL;  // a tie counts as left
    const double quiet = rightLouder ? levelL : levelR;
    const double loud = rightLouder ? levelR : levelL;
    return PannedMonoVerdict{rightLouder ? ChannelSelection::right : ChannelSelection::left,
                             panPercentFor(quiet, loud)};
}

}  // namespace twinfold
