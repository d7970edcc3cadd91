#pragma once

// The proof that a conversion lost nothing, checked before any original is
// moved or deleted: every channel of every source is either in an output or
// shown again, on the file as it is now, to be redundant. Plain C++ on the
// engine; no Qt.

#include "conversion/ConversionPlan.h"
#include "records/FileIdentity.h"

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

// A source file as the scan saw it.
struct ProvenFile {
    std::filesystem::path path;
    FileIdentity identity;  // unknown: not compared

    bool operator==(const ProvenFile&) const = default;
};

// One output of a source, as planned.
using ProvenOutput = PlannedOutput;

// What must hold before the originals of one scanned result may go. The
// channels of `files` are numbered on from file to file: a split pair's left
// file is channel 0, its right file channel 1.
struct SourceProof {
    std::vector<ProvenFile> files;
    std::vector<ProvenOutput> outputs;
    std::vector<DroppedChannel> dropped;
    float silenceThresholdLinear = 1.5848932e-5f;

    bool operator==(const SourceProof&) const = default;
};

// Why the proof failed; what() is the text shown to the user and names the
// file (and the channel or chunk) at fault.
class VerificationError : public std::runtime_error {
public:
    enum class Case {
        unreadable,      // an output or its source cannot be read back
        formatMismatch,  // wrong channel count or sample rate
        depthMismatch,   // fewer bits per sample than the source's samples need
        lengthMismatch,  // a different number of frames than the source
        sampleMismatch,  // a sample differs from the source channel it copies
        sourceChanged,   // the source is not the file that was scanned
        notRedundant,    // a channel no output carries is not redundant (any more)
        unaccounted,     // a channel is neither written nor listed as redundant
        chunkMissing,    // a metadata chunk of the source is not in an output
    };

    VerificationError(Case errorCase, std::string fileName, const std::string& detail = {});

    Case errorCase() const noexcept { return case_; }
    const std::string& fileName() const noexcept { return fileName_; }

private:
    Case case_;
    std::string fileName_;
};

// Throws VerificationError(sourceChanged) when the file at `file.path` is no
// longer the one the scan saw (another size, modification time or inode).
void requireUnchanged(const ProvenFile& file);

// Reads outputs back and compares them with their sources:
// - an integer PCM source copied without a normalisation target must come
//   back sample for sample, compared as the stored integers, and a float
//   source copied into a float file float for float;
// - anything else (normalised outputs, float or lossy sources written as
//   integers) must lie within one step of the output's resolution of
//   gain × source, where the gain is the one the normalisation rule gives for
//   the source channel's peak (1 without a target), measured in the same
//   pass; a clipped sample is a mismatch;
// - every output has the source's frame count, rate and the listed channels,
//   and at least the source's resolution: its bits for integer PCM, 24 for
//   float PCM and for anything decoded (companded, ADPCM, lossy), whose
//   samples a narrower file would round away while passing the check above.
// Each source is read once for all the outputs made from it, each output once.
class OutputVerifier {
public:
    // (index of the source being checked, number of sources, its file name,
    // fraction of that source done). Called on the verifying thread.
    using Progress =
        std::function<void(std::size_t index, std::size_t count, const std::string& sourceName, double fraction)>;

    static constexpr std::uint32_t blockFrames = 1u << 16;

    // The read-back alone. Throws VerificationError at the first output that
    // fails. Returns false, having stopped early, when `cancelled` becomes
    // true; true when every output passed.
    static bool verify(const std::vector<OutputProvenance>& outputs, const std::atomic<bool>& cancelled,
                       const Progress& progress = {});

    // The whole proof, in the same single read of each source: each file is
    // unchanged since the scan, every channel is written or dropped, the
    // read-back above for the outputs, every dropped channel still redundant
    // by its rule, and every listed metadata chunk of an output's source file
    // in that output, byte for byte. Returns and throws as verify().
    static bool prove(const std::vector<SourceProof>& proofs, const std::atomic<bool>& cancelled,
                      const Progress& progress = {});
};

}  // namespace twinfold
