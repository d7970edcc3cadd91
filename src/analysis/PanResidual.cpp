#include "analysis/PanResidual.h"

#include "analysis/ChannelSources.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace twinfold {

namespace {

// Largest |dropped[i] − gain · kept[i]|; NaN samples are skipped.
float largestResidual(const float* dropped, const float* kept, float gain, std::size_t n) {
    float peak = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const float x = std::fabs(dropped[i] - gain * kept[i]);
        peak = x > peak ? x : peak;
    }
    return peak;
}

float residualPeak(StereoSource& source, bool leftKept, float gain, std::uint32_t runFrames, const StopFlags& stop) {
    source.seek(0);
    float peak = 0;
    for (std::int64_t done = 0; done < source.length();) {
        if (stop.isSet()) throw AnalysisError(AnalysisError::Case::cancelled);
        const auto wanted = std::uint32_t(std::min<std::int64_t>(runFrames, source.length() - done));
        const std::uint32_t got = source.read(wanted);
        if (got == 0) break;  // the data ends early, as the first read found too
        const float* kept = leftKept ? source.left() : source.right();
        const float* dropped = leftKept ? source.right() : source.left();
        peak = std::max(peak, largestResidual(dropped, kept, gain, got));
        done += got;
    }
    return peak;
}

}  // namespace

PanResidual measurePanResidual(StereoSource& source, const StereoMoments& moments, ChannelSelection louderChannel,
                               bool linearPCM, std::uint32_t runFrames, const StopFlags& stop) {
    const PanFit fit = fitPan(moments, louderChannel);
    PanResidual residual;
    residual.relativedB = fit.relativedB;
    if (linearPCM && fit.relativedB > differingResidualdB) {
        residual.peak = residualPeak(source, louderChannel == ChannelSelection::left, float(fit.gain),
                                     std::max<std::uint32_t>(runFrames, 1), stop);
        residual.peakMeasured = true;
    }
    return residual;
}

}  // namespace twinfold
