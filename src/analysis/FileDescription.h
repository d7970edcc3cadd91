#pragma once

#include "records/AudioFileInfo.h"

#include <filesystem>

namespace twinfold {

class AudioFileReader;

// Opens the file to describe it; the audio layer's or file system's error on failure.
AudioFileInfo describeFile(const std::filesystem::path& path);
// The same for a file the caller has already opened as `reader`, so a
// compressed file is not decoded once more just to be described.
AudioFileInfo describeFile(const std::filesystem::path& path, const AudioFileReader& reader);
// Describes two mono files as one stereo pair; SplitStereoError when they do not
// match or either has more than one channel.
AudioFileInfo describeSplitPair(const std::filesystem::path& left, const std::filesystem::path& right);

}  // namespace twinfold
