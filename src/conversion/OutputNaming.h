#pragma once

#include "records/AppSettings.h"
#include "records/ScanResult.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinfold {

// Names of the files a conversion writes. All of these are pure: they never
// touch the file system. Every output goes into its source's folder, named
// base + namingSuffix + extra + "." + extension, where base is the source's
// name without its last extension and a lossy source's extension becomes
// "wav" (its outputs are PCM). A suffix that could lead out of that folder
// or cut the name short (one with "/" or NUL) is refused by every one of
// them with ConversionError::invalidSuffix, wherever the suffix came from.

// Whether `suffix` may be part of an output's name.
bool isValidNamingSuffix(std::string_view suffix);

// Lower-cased extensions of the encoded formats, whose outputs are WAV files.
inline constexpr std::array<std::string_view, 3> lossyExtensions = {"mp3", "m4a", "aac"};
bool isLossyExtension(std::string_view extension);  // compared lower-cased, without the dot

struct OutputPair {
    std::filesystem::path left;
    std::filesystem::path right;

    bool operator==(const OutputPair&) const = default;
};

// "_" + pan percent + "L"/"R" (R only when the louder channel is right), e.g. "_69L".
std::string panSuffix(int panPercent, std::optional<ChannelSelection> louderChannel);
// The pan part of a panned mono result; empty when it has no pan percent.
std::string panSuffix(const ScanResult& result);

// Song.wav → Song_mono.wav, Song.MP3 → Song_mono.wav, Pad.wav + "_69L" → Pad_mono_69L.wav.
std::filesystem::path outputPath(const std::filesystem::path& source, const AppSettings& settings,
                                 std::string_view extra = {});
// Hit.aiff → Hit_mono_L.aiff and Hit_mono_R.aiff.
OutputPair splitOutputPaths(const std::filesystem::path& source, const AppSettings& settings);
// Film.wav channel 3 of 6 → Film_mono_ch4_LFE.wav; Quad.wav channel 0 of 4 → Quad_mono_ch1.wav.
std::filesystem::path channelFilePath(const std::filesystem::path& source, const AppSettings& settings,
                                      int channelIndex, int channelCount);
// The recorder's track names (iXML) of a multichannel result, one per
// channel, when every channel has one that is fit for a file name (no
// control characters, none of / \ : * ? " < > |, not hidden, at most 64
// bytes) and no two are the same ignoring case (a memory card's file system
// would merge them). Empty otherwise: the outputs then keep channel numbers.
std::vector<std::string> usableTrackNames(const ScanResult& result);
// Film.wav, track "Boom" → Film_mono_Boom.wav.
std::filesystem::path trackFilePath(const std::filesystem::path& source, const AppSettings& settings,
                                    const std::string& trackName);
// Split pair Kick.L.WAV / Kick.R.WAV → Kick_mono.WAV (the left file's extension as written,
// lossy or not).
std::filesystem::path pairOutputPath(const ScanResult& pair, const AppSettings& settings);
// Split pair → Kick_mono_L.WAV and Kick_mono_R.WAV (a lossy pair's outputs end in .wav).
OutputPair pairSplitOutputPaths(const ScanResult& pair, const AppSettings& settings);

}  // namespace twinfold
