#pragma once

#include <filesystem>
#include <vector>

namespace twinfold {

enum class EncodedFormat {
    mp3,      // MPEG layer 3 (LAME) with a Xing/LAME header declaring delay and padding
    m4aAac,   // AAC-LC in an M4A whose edit list trims the priming and padding exactly
    m4aAlac,  // Apple Lossless, 16-bit, in an M4A
    adtsAac,  // raw AAC-LC in ADTS frames (no gapless information)
};

// Encodes planar float channels (full scale ±1.0, all the same length) into
// a new compressed file. The file is created exclusively: an existing file
// is never replaced (AudioIOError). A failed encode removes its partial file.
// Throws AudioIOError with FFmpeg's message, std::invalid_argument when there
// are no samples, the channels differ in length or the rate is not positive.
void encodeAudioFile(const std::filesystem::path& path, const std::vector<std::vector<float>>& planarChannels,
                     int sampleRate, EncodedFormat format);

}  // namespace twinfold
