#pragma once

#include "audio_io/AudioFileReader.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace twinfold::detail {

// What the first bytes of a file say about it.
enum class ContentKind {
    compressed,    // MPEG audio, ADTS/ADIF AAC, MP4/M4A; anything behind an ID3 tag but a PCM container
    pcmContainer,  // RIFF/RIFX, RF64, BW64, IFF FORM (WAV, AIFF, AIFF-C, …), even behind an ID3 tag
    unknown,       // anything else: libsndfile may still know it
};
ContentKind sniffContent(const unsigned char* head, std::size_t size);  // ID3 counts as compressed

using CompressedOpener = std::function<std::unique_ptr<AudioFileReader>(const std::filesystem::path&)>;

// openAudioFile with the compressed-audio decoder passed in, so the choice
// of decoder can be observed. PCM containers and whatever else libsndfile
// opens are read through libsndfile, except MPEG audio; the rest goes to
// `openCompressed`. Content that neither decoder accepts reports
// libsndfile's message.
std::unique_ptr<AudioFileReader> openAudioFileWith(const std::filesystem::path& path,
                                                   const CompressedOpener& openCompressed);

}  // namespace twinfold::detail
