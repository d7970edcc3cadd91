// libFuzzer target for opening and reading a file the way the application
// does: through openAudioFile (libsndfile, or FFmpeg for what it decodes),
// or, built with TWINFOLD_FUZZ_FFMPEG, through the FFmpeg reader alone.
// Run it through scripts/fuzz.

#include "FuzzScratch.h"
#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioIOError.h"
#include "audio_io/FfmpegReader.h"

#include <cmath>
#include <cstdint>

using namespace twinfold;
using fuzz::check;

namespace {

std::unique_ptr<AudioFileReader> open(const std::filesystem::path& path) {
#ifdef TWINFOLD_FUZZ_FFMPEG
    return openFfmpegFile(path);
#else
    return openAudioFile(path);
#endif
}

// What an opened reader promises: a plausible shape, and reading from the
// start delivers exactly its length or fails; never a different count.
void readAll(AudioFileReader& reader) {
    check(reader.channelCount() >= 1 && reader.channelCount() <= 1024, "implausible channel count");
    check(std::isfinite(reader.sampleRate()) && reader.sampleRate() >= 1 && reader.sampleRate() <= 1'536'000,
          "implausible sample rate");
    check(reader.length() >= 0, "negative length");
    PCMBuffer buffer(reader.channelCount(), 4096);
    std::int64_t delivered = 0;
    for (reader.read(buffer, 4096); buffer.frameLength() > 0; reader.read(buffer, 4096))
        delivered += buffer.frameLength();
    check(delivered == reader.length(), "read delivered a different length");
    // A seek back must deliver the same again, from any reader.
    reader.seek(0);
    IntPCMBuffer ints(reader.channelCount(), 4096);
    delivered = 0;
    for (reader.readInt(ints, 4096); ints.frameLength() > 0; reader.readInt(ints, 4096))
        delivered += ints.frameLength();
    check(delivered == reader.length(), "readInt delivered a different length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& path = fuzz::writeScratch(data, size);
    try {
        auto reader = open(path);
        readAll(*reader);
    } catch (const AudioIOError&) {}
    return 0;
}
