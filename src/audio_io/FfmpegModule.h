#pragma once

// The FFmpeg decoder and encoder are built into a module of their own,
// twinfold-ffmpeg.so, loaded the first time a compressed file is opened or
// written. Linked into the programs, FFmpeg would load some 130 shared
// libraries at every start, which costs more than a whole rescan of a cached
// folder. The rest of the program calls openFfmpegFile and encodeAudioFile,
// which load the module; these are the module's own entry points.

#include "audio_io/AudioFileReader.h"
#include "audio_io/FfmpegEncoder.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace twinfold::ffmpeg_module {

std::unique_ptr<AudioFileReader> open(const std::filesystem::path& path);
void encode(const std::filesystem::path& path, const std::vector<std::vector<float>>& planarChannels, int sampleRate,
            EncodedFormat format);

// What the loader looks for: the file (found through the programs' run path)
// and its two functions, which have the signatures below.
inline constexpr const char* fileName = "twinfold-ffmpeg.so";
inline constexpr const char* openSymbol = "twinfold_ffmpeg_open";
inline constexpr const char* encodeSymbol = "twinfold_ffmpeg_encode";
using OpenFunction = AudioFileReader* (*)(const std::filesystem::path&);
using EncodeFunction = void (*)(const std::filesystem::path&, const std::vector<std::vector<float>>&, int,
                                EncodedFormat);

}  // namespace twinfold::ffmpeg_module
