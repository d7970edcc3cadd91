#pragma once

#include "audio_io/AudioFileReader.h"
#include "conversion/AudioConverterService.h"
#include "conversion/OutputFiles.h"

#include <vector>

namespace twinfold {

// Small checks and steps the converter's operations share.

void report(const ProgressHandler& progress, double fraction);

// A source the converter can describe an output for: a positive rate and at
// least `minChannels` channels; invalidFormat otherwise.
void requireFormat(const AudioFileReader& reader, int minChannels);

// Every index in 0 … channelCount − 1 (and, when `unique`, none twice), and
// the list not empty; invalidFormat otherwise.
void requireChannels(const std::vector<int>& channels, int channelCount, bool unique);

// Creates a writer; any failure becomes cannotCreateOutput.
AudioFileWriter& createOutput(OutputFiles& outputs, const std::filesystem::path& path, const WriterSettings& settings);

}  // namespace twinfold
