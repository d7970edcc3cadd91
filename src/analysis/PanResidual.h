#pragma once

#include "analysis/BlockLoop.h"
#include "analysis/PannedMono.h"
#include "records/ScanResult.h"

#include <cstdint>

namespace twinfold {

class StereoSource;

// What the dropped side of a panned-mono verdict holds beyond a scaled copy
// of the kept side. The relative figure comes from the moments the analysis
// already has. The peak needs the best gain, known only once the whole file
// has been read, so it costs a second read of `source` (from the start, in
// runs of `runFrames`). That read is taken only when `linearPCM` and the
// relative figure is above differingResidualdB, the one case in which the
// peak decides whether the file differs from a pan. A lossy codec adds noise
// of its own to each channel (an AAC encode of dual mono measures about
// −25 dB), so a compressed source's figure says nothing about the material
// and is recorded without a peak. Throws AnalysisError(cancelled) once
// `stop` is set during the second read.
PanResidual measurePanResidual(StereoSource& source, const StereoMoments& moments, ChannelSelection louderChannel,
                               bool linearPCM, std::uint32_t runFrames, const StopFlags& stop);

}  // namespace twinfold
