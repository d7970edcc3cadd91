#pragma once

// The proof that a conversion's outputs hold what they should, checked before
// any original is moved or deleted. Plain C++ on the engine; no Qt.

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace twinfold {

// One file a conversion wrote and where its samples came from: output
// channel k is source channel sourceChannels[k], scaled by the converter's
// normalisation gain for that channel when a target was given.
struct OutputProvenance {
    std::filesystem::path output;
    std::filesystem::path source;
    std::vector<int> sourceChannels;
    std::optional<float> targetdBFS;

    bool operator==(const OutputProvenance&) const = default;
};

// Why an output failed the check; what() is the text shown to the user and
// names the output file.
class VerificationError : public std::runtime_error {
public:
    enum class Case {
        unreadable,      // an output or its source cannot be read back
        formatMismatch,  // wrong channel count or sample rate
        depthMismatch,   // fewer bits per sample than the source's samples need
        lengthMismatch,  // a different number of frames than the source
        sampleMismatch,  // a sample differs from the source channel it copies
    };

    VerificationError(Case errorCase, std::string fileName, const std::string& detail = {});

    Case errorCase() const noexcept { return case_; }
    const std::string& fileName() const noexcept { return fileName_; }

private:
    Case case_;
    std::string fileName_;
};

// Reads outputs back and compares them with their sources:
// - an integer PCM source copied without a normalisation target must come
//   back sample for sample, compared as the stored integers;
// - anything else (normalised outputs, float or lossy sources) must lie
//   within one step of the output's resolution of gain × source, where the
//   gain is the one the normalisation rule gives for the source channel's
//   peak (1 without a target), measured in the same pass;
// - every output has the source's frame count, rate and the listed channels,
//   and at least the source's resolution: its bits for integer PCM, 24 for
//   float PCM and for anything decoded (companded, ADPCM, lossy), whose
//   samples a narrower file would round away while passing the check above.
// Each source is read once for all the outputs made from it, each output once.
class OutputVerifier {
public:
    // (index of the source being checked, number of sources, its file name,
    // fraction of that source done). Called on the verifying thread.
    using Progress = std::function<void(std::size_t index, std::size_t count, const std::string& sourceName,
                                        double fraction)>;

    static constexpr std::uint32_t chunkFrames = 1u << 16;

    // Throws VerificationError at the first output that fails. Returns false,
    // having stopped early, when `cancelled` becomes true; true when every
    // output passed.
    static bool verify(const std::vector<OutputProvenance>& outputs, const std::atomic<bool>& cancelled,
                       const Progress& progress = {});
};

}  // namespace twinfold
