#include "jobs/OutputVerifier.h"
#include "audio_io/FileIdentityOf.h"

#include "analysis/AudioAnalyzerService.h"
#include "audio_io/AudioFileReader.h"
#include "conversion/AudioMetadataService.h"
#include "conversion/ChannelStreamer.h"
#include "conversion/OutputFormat.h"
#include "jobs/OutputCheck.h"
#include "jobs/RedundancyCheck.h"
#include "jobs/SourceBlock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <span>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUntouched = " No original was moved or deleted.";

using Case = VerificationError::Case;

std::string messageFor(Case errorCase, const std::string& name, const std::string& detail) {
    std::string text = "Verification failed: ";
    switch (errorCase) {
    case Case::unreadable: text += "cannot read " + name + ": " + detail + "."; break;
    case Case::formatMismatch: text += name + " does not have the channels or sample rate of its source."; break;
    case Case::depthMismatch: text += name + " has fewer bits per sample than its source" + detail + "."; break;
    case Case::lengthMismatch: text += name + " " + detail + "."; break;
    case Case::sampleMismatch: text += name + " does not match its source" + detail + "."; break;
    case Case::sourceChanged:
        text = name + " has changed since it was scanned; scan the folder again before converting it.";
        break;
    case Case::notRedundant: text += detail + ", so it cannot be dropped."; break;
    case Case::unaccounted: text += detail + " is neither written nor known to be redundant."; break;
    case Case::chunkMissing: text += detail + "."; break;
    }
    return text + kUntouched;
}

// "channel 2 of take.wav" for a channel numbered across the proof's files.
std::string describeChannel(const SourceProof& proof, const SourceBlock& block, int channel) {
    const std::size_t file = block.fileOf(channel);
    int local = channel;
    for (std::size_t f = 0; f < file; ++f) local -= block.reader(f).channelCount();
    return "channel " + std::to_string(local + 1) + " of " + nameOf(proof.files[file].path);
}

void requireEveryChannelAccountedFor(const SourceProof& proof, const SourceBlock& block) {
    std::set<int> accounted;
    for (const ProvenOutput& output : proof.outputs)
        accounted.insert(output.sourceChannels.begin(), output.sourceChannels.end());
    for (const DroppedChannel& dropped : proof.dropped) {
        const bool valid = dropped.channel >= 0 && dropped.channel < block.channelCount() &&
                           (dropped.reason == Redundancy::silent ||
                            (dropped.reference >= 0 && dropped.reference < block.channelCount() &&
                             dropped.reference != dropped.channel && accounted.count(dropped.reference)));
        if (valid) accounted.insert(dropped.channel);
    }
    for (int c = 0; c < block.channelCount(); ++c) {
        if (!accounted.count(c)) {
            throw VerificationError(Case::unaccounted, nameOf(proof.files[block.fileOf(c)].path),
                                    describeChannel(proof, block, c));
        }
    }
}

std::int64_t commonLength(const SourceProof& proof, const SourceBlock& block) {
    const std::int64_t length = block.reader(0).length();
    for (std::size_t f = 1; f < block.fileCount(); ++f) {
        if (block.reader(f).length() != length) {
            throw VerificationError(Case::sourceChanged, nameOf(proof.files[f].path));
        }
    }
    return length;
}

struct Options {
    bool full = false;  // identity, accounting, dropped channels, chunks
};

void requireChunks(const fs::path& source, const fs::path& output) {
    try {
        requireChunksCarried(source, output);
    } catch (const std::exception& error) {
        throw VerificationError(Case::chunkMissing, nameOf(output), error.what());
    }
}

// Outputs compared in one read of their source: each holds two descriptors
// (ours and the audio library's), and the proof stays well under 64.
constexpr std::size_t kOutputsAtOnce = 16;
// What one read may hold: the source's samples with their float copies, and
// a group's outputs.
constexpr std::size_t kMemoryBudget = std::size_t(32) << 20;

// Frames read at once: full blocks unless the source is so wide that they
// would pass the memory budget. Whole groups of eight frames, as the
// panned-mono sums need.
std::uint32_t blockFramesFor(int sourceChannels, std::size_t outputChannels) {
    const std::size_t perFrame = sizeof(float) * (2 * std::size_t(std::max(sourceChannels, 1)) + outputChannels);
    const std::size_t frames = std::clamp<std::size_t>(kMemoryBudget / perFrame, 1024, OutputVerifier::blockFrames);
    return std::uint32_t(frames - frames % 8);
}

// One read of the source for a group of its outputs, and in the first read
// for every channel dropped from it.
class SourcePass {
public:
    SourcePass(const SourceProof& proof, std::span<const ProvenOutput> outputs, bool withDropped)
        : proof_(proof),
          block_(
              paths(proof), [&](int channels) { return capacityFor(channels, outputs); }, openForCheck),
          length_(commonLength(proof, block_)) {
        checks_.reserve(outputs.size());
        for (const ProvenOutput& output : outputs) checks_.emplace_back(output, block_, length_, block_.capacity());
        if (!withDropped) return;
        for (const DroppedChannel& dropped : proof.dropped) {
            redundancies_.emplace_back(dropped, proof.silenceThresholdLinear, length_,
                                       AudioAnalyzerService::defaultChunkSize);
        }
    }

    const SourceBlock& block() const { return block_; }

    // False when cancelled; throws VerificationError at the first fault.
    bool run(const std::atomic<bool>& cancelled, const std::function<void(double)>& progress) {
        for (std::int64_t done = 0; done < length_;) {
            if (cancelled.load()) return false;
            block_.read(std::uint32_t(std::min<std::int64_t>(block_.capacity(), length_ - done)));
            for (OutputCheck& check : checks_) check.compare(block_, done);
            for (std::size_t i = 0; i < redundancies_.size(); ++i) {
                if (!redundancies_[i].add(block_)) notRedundant(i);
            }
            done += block_.frames();
            if (progress) progress(double(done) / double(length_));
        }
        for (const OutputCheck& check : checks_) check.finish();
        for (std::size_t i = 0; i < redundancies_.size(); ++i) {
            if (!redundancies_[i].holds()) notRedundant(i);
        }
        return true;
    }

private:
    static std::vector<fs::path> paths(const SourceProof& proof) {
        std::vector<fs::path> paths;
        for (const ProvenFile& file : proof.files) paths.push_back(file.path);
        return paths;
    }
    static std::uint32_t capacityFor(int sourceChannels, std::span<const ProvenOutput> outputs) {
        std::size_t outputChannels = 0;
        for (const ProvenOutput& output : outputs) outputChannels += output.sourceChannels.size();
        return blockFramesFor(sourceChannels, outputChannels);
    }

    [[noreturn]] void notRedundant(std::size_t i) const {
        const DroppedChannel& dropped = proof_.dropped[i];
        const std::string reference = dropped.reference >= 0 ? describeChannel(proof_, block_, dropped.reference) : "";
        throw VerificationError(
            Case::notRedundant, nameOf(proof_.files[block_.fileOf(dropped.channel)].path),
            describeChannel(proof_, block_, dropped.channel) + " " + redundancies_[i].failureText(reference));
    }

    const SourceProof& proof_;
    SourceBlock block_;
    std::int64_t length_;
    std::vector<OutputCheck> checks_;
    std::vector<RedundancyCheck> redundancies_;
};

// Reads the source once for every group of its outputs (once in all but
// for very wide files), comparing the outputs and re-proving every channel
// dropped from it in the first read.
bool proveSource(const SourceProof& proof, const Options& options, const std::atomic<bool>& cancelled,
                 const std::function<void(double)>& progress) {
    if (options.full) {
        for (const ProvenFile& file : proof.files) requireUnchanged(file);
    }
    const std::span<const ProvenOutput> outputs(proof.outputs);
    const std::size_t passes = std::max<std::size_t>(1, (outputs.size() + kOutputsAtOnce - 1) / kOutputsAtOnce);
    for (std::size_t p = 0; p < passes; ++p) {
        const std::size_t first = p * kOutputsAtOnce;
        SourcePass pass(proof, outputs.subspan(first, std::min(kOutputsAtOnce, outputs.size() - first)),
                        options.full && p == 0);
        if (options.full && p == 0) requireEveryChannelAccountedFor(proof, pass.block());
        auto passProgress = [&](double fraction) {
            if (progress) progress((double(p) + fraction) / double(passes));
        };
        if (!pass.run(cancelled, passProgress)) return false;
    }
    if (options.full) {
        for (const ProvenOutput& output : proof.outputs) {
            // A split pair's files are mono: its channel N is file N.
            const std::size_t file = proof.files.size() == 1 ? 0 : std::size_t(output.sourceChannels.front());
            requireChunks(proof.files.at(file).path, output.path);
        }
    }
    return true;
}

bool proveAll(const std::vector<SourceProof>& proofs, const Options& options, const std::atomic<bool>& cancelled,
              const OutputVerifier::Progress& progress) {
    for (std::size_t i = 0; i < proofs.size(); ++i) {
        const std::string name = proofs[i].files.empty() ? std::string() : nameOf(proofs[i].files.front().path);
        auto report = [&](double fraction) {
            if (progress) progress(i, proofs.size(), name, fraction);
        };
        report(0);
        if (proofs[i].files.empty()) continue;
        if (!proveSource(proofs[i], options, cancelled, report)) return false;
    }
    return !cancelled.load();
}

}  // namespace

VerificationError::VerificationError(Case errorCase, std::string fileName, const std::string& detail)
    : std::runtime_error(messageFor(errorCase, fileName, detail)), case_(errorCase), fileName_(std::move(fileName)) {}

void requireUnchanged(const ProvenFile& file) {
    if (file.identity.isKnown() && currentFileIdentity(file.path) != file.identity) {
        throw VerificationError(Case::sourceChanged, nameOf(file.path));
    }
}

bool OutputVerifier::verify(const std::vector<OutputProvenance>& outputs, const std::atomic<bool>& cancelled,
                            const Progress& progress) {
    // Sources in the order their first output was written.
    std::vector<SourceProof> proofs;
    std::map<fs::path, std::size_t> bySource;
    for (const OutputProvenance& entry : outputs) {
        auto [it, isNew] = bySource.try_emplace(entry.source, proofs.size());
        if (isNew) proofs.push_back({{{entry.source, {}}}});
        proofs[it->second].outputs.push_back({entry.output, entry.sourceChannels, entry.targetdBFS});
    }
    return proveAll(proofs, Options{}, cancelled, progress);
}

bool OutputVerifier::prove(const std::vector<SourceProof>& proofs, const std::atomic<bool>& cancelled,
                           const Progress& progress) {
    return proveAll(proofs, Options{true}, cancelled, progress);
}

}  // namespace twinfold
