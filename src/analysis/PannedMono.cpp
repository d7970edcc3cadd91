#include "analysis/PannedMono.h"

#include <algorithm>
#include <cmath>

namespace twinfold {

void StereoMoments::addBlock(const kernels::BlockSums& chunk, std::uint64_t blockFrames) {
    sumL += double(chunk.sumL);
    sumR += double(chunk.sumR);
    sumSquaresL += double(chunk.sumSquaresL);
    sumSquaresR += double(chunk.sumSquaresR);
    dot += double(chunk.dot);
    frames += std::int64_t(blockFrames);
}

namespace {

// The variance as E[x²] − E[x]², which cancels badly when a channel is
// (nearly) constant: the float sums are good to a few parts in a million of
// E[x²], so a variance below 1e-4 of it is rounding noise, not signal. It
// counts as none, so a DC channel cannot produce a made-up correlation (or,
// from a negative variance, a NaN level). Real material is far above this.
double varianceOf(double sum, double sumSquares, double n) {
    const double mean = sum / n;
    const double meanSquare = sumSquares / n;
    const double variance = meanSquare - mean * mean;
    return variance > meanSquare * 1e-4 ? variance : 0.0;
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

PanFit fitPan(const StereoMoments& m, ChannelSelection louderChannel) {
    const bool leftKept = louderChannel == ChannelSelection::left;
    const double kept = leftKept ? m.sumSquaresL : m.sumSquaresR;
    const double dropped = leftKept ? m.sumSquaresR : m.sumSquaresL;
    // Written as "not greater" so NaN sums give no figure rather than a wrong one.
    if (!(dropped > 0)) return {};
    if (!(kept > 0)) return {0, 0.0f};  // nothing to scale: all of the dropped side is left
    const double gain = m.dot / kept;
    // Σ(d − g·k)² = Σd² − (Σdk)² / Σk² at the best gain; as a share of Σd².
    const double share = (kept * dropped - m.dot * m.dot) / (kept * dropped);
    const float relativedB = share > 0 ? float(10.0 * std::log10(share)) : -std::numeric_limits<float>::infinity();
    return {gain, relativedB};
}

}  // namespace twinfold
