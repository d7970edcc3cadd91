#pragma once

// What the tests that run the analysis service share: the audio fixtures and
// the scan's default silence threshold.

#include "analysis/AudioAnalyzerService.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

#include <cmath>

namespace twinfold::test {

inline const float minus96dBFS = std::pow(10.0f, -96.0f / 20.0f);

}  // namespace twinfold::test
