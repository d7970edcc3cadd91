#pragma once

// Helpers shared by the audio I/O tests, and the fixtures they all use.

#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioIOError.h"
#include "audio_io/ByteOrder.h"
#include "support/ChunkFixtures.h"
#include "support/CompressedFixtures.h"
#include "support/FileTree.h"
#include "support/PcmFixtures.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace twinfold::test {

// Reads from the current position to the end, `chunk` frames at a time.
inline FloatChannels readToEnd(AudioFileReader& reader, std::uint32_t chunk) {
    FloatChannels out(std::size_t(reader.channelCount()));
    PCMBuffer buffer(reader.channelCount(), chunk);
    for (reader.read(buffer, chunk); buffer.frameLength() > 0; reader.read(buffer, chunk))
        for (int c = 0; c < reader.channelCount(); ++c)
            out[c].insert(out[c].end(), buffer.channel(c), buffer.channel(c) + buffer.frameLength());
    return out;
}

// After a seek to each of `targets`, reading to the end gives what `whole`,
// read from the start, holds from there.
inline void expectSeeksMatch(AudioFileReader& reader, const FloatChannels& whole,
                             std::initializer_list<std::int64_t> targets) {
    for (std::int64_t target : targets) {
        reader.seek(target);
        EXPECT_EQ(reader.position(), target);
        const FloatChannels tail = readToEnd(reader, 3000);
        for (std::size_t c = 0; c < whole.size(); ++c) {
            const auto from = whole[c].begin() + std::min<std::int64_t>(target, reader.length());
            EXPECT_EQ(tail[c], std::vector<float>(from, whole[c].end())) << "seek to " << target;
        }
    }
}

// The message of the AudioIOError `open(path)` throws, or "opened".
template <class Open>
std::string openError(const Open& open, const std::filesystem::path& path) {
    const auto error = thrown<AudioIOError>([&] { open(path); }, true);
    return error ? error->what() : "opened";
}

}  // namespace twinfold::test
