#include "analysis/FileDescription.h"
#include "audio_io/FileIdentityOf.h"
#include "analysis/AudioAnalyzerService.h"

#include "analysis/ChannelSources.h"
#include "analysis/BlockLoop.h"
#include "analysis/EvidenceGatherer.h"
#include "analysis/MultichannelClassifier.h"
#include "analysis/PanResidual.h"
#include "analysis/StereoClassifier.h"
#include "analysis/TrackNames.h"
#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioFormat.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace twinfold {

namespace {

using Clock = std::chrono::steady_clock;

// Samples per run, all channels together: 256 KiB of floats stays in the
// second-level cache while every test walks over it.
constexpr std::uint32_t runSamples = 65536;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::uint32_t runFramesFor(int channelCount, std::uint32_t chunkSize) {
    std::uint32_t frames = runSamples / std::uint32_t(std::max(channelCount, 1));
    // Whole groups of lanes, so the float sums do not depend on the run size.
    frames -= frames % kernels::StereoLaneSums::lanes;
    return std::clamp<std::uint32_t>(frames, 1, chunkSize);
}

// Both sinks read the whole file: the evidence describes all of it.
struct StereoSink {
    StereoClassifier& classifier;
    EvidenceGatherer& evidence;
    void add(const StereoSource& s, std::uint32_t n) {
        classifier.add(s.left(), s.right(), n);
        evidence.addPair(s.left(), s.right(), n);
    }
    void endChunk() { classifier.endChunk(); }
    bool isSettled() const { return false; }
};

// A 16-bit file read as stored: the evidence's own pass gives every figure
// the stereo tests need, exactly.
struct Int16Reads {
    StereoSource& source;
    std::int64_t position() const { return source.position(); }
    void seek(std::int64_t frame) { source.seek(frame); }
    std::uint32_t read(std::uint32_t n) { return source.readInt16(n); }
};

struct Int16StereoSink {
    EvidenceGatherer& evidence;
    void add(const Int16Reads& s, std::uint32_t n) { evidence.addPair16(s.source.left16(), s.source.right16(), n); }
    void endChunk() {}
    bool isSettled() const { return false; }
};

StereoFindings int16Findings(StereoSource& source, EvidenceGatherer& evidence, const ChunkGeometry& geometry,
                             float threshold, const StopFlags& stop) {
    Int16Reads reads{source};
    Int16StereoSink sink{evidence};
    streamChunks(reads, sink, geometry, stop);
    StereoFindings f;
    f.leftHasAudio = evidence.hasAudio(0), f.rightHasAudio = evidence.hasAudio(1);
    f.identical = evidence.identical();
    f.sumAboveThreshold = evidence.largestSum() > threshold;
    f.moments = evidence.exactMoments();
    return f;
}

StereoFindings floatFindings(StereoSource& source, EvidenceGatherer& evidence, const ChunkGeometry& geometry,
                             float threshold, const StopFlags& stop) {
    StereoClassifier classifier(threshold, geometry.totalFrames);
    StereoSink sink{classifier, evidence};
    streamChunks(source, sink, geometry, stop);
    return classifier.findings();
}

struct MultichannelSink {
    MultichannelClassifier& classifier;
    EvidenceGatherer& evidence;
    void add(const MultichannelSource& s, std::uint32_t n) {
        classifier.add(s.channels(), n);
        evidence.addChannels(s.channels(), n);
    }
    void endChunk() { evidence.endChunk(); }
    bool isSettled() const { return false; }
};

ScanResult stereoResult(const AudioFileInfo& info, const StereoVerdict& v, std::optional<PanResidual> residual,
                        std::optional<std::filesystem::path> pairedFilePath, Clock::time_point start) {
    ScanResultFields f;
    f.fileInfo = info;
    f.silentChannel = v.silentChannel;
    f.isDualMono = v.isDualMono;
    f.isPannedMono = v.pannedMono.has_value();
    if (v.pannedMono) {
        f.pannedMonoLouderChannel = v.pannedMono->louderChannel;
        f.pannedMonoPanPercent = v.pannedMono->panPercent;
        f.panResidual = residual;
    }
    f.isPhaseInverted = v.isPhaseInverted;
    f.pairedFilePath = std::move(pairedFilePath);
    f.analysisTime = secondsSince(start);
    return ScanResult(std::move(f));
}

}  // namespace

ScanResult unreadableResult(const std::filesystem::path& path, const std::string& reason) {
    ScanResultFields f;
    f.fileInfo.id = Uuid::random();
    f.fileInfo.path = path;
    f.fileInfo.filename = path.filename().string();
    f.fileInfo.fileExtension = lowerExtension(path);
    f.fileInfo.identity = currentFileIdentity(path);
    f.fileInfo.fileSize = std::max<std::int64_t>(f.fileInfo.identity.size, 0);
    f.unreadableReason = reason;
    return ScanResult(std::move(f));
}

AudioAnalyzerService::AudioAnalyzerService(float silenceThresholdLinear, std::uint32_t chunkSize)
    : silenceThreshold_(silenceThresholdLinear), chunkSize_(std::max<std::uint32_t>(chunkSize, 1)) {}

ScanResult AudioAnalyzerService::analyzeFile(const Path& path, const std::atomic<bool>* stop,
                                             EvidencePictures* pictures) {
    const auto start = Clock::now();
    filesOpened_.fetch_add(1);
    // One open serves both the description and the analysis: opening a
    // compressed file decodes it once to count its frames exactly.
    auto file = openAudioFile(path);
    AudioFileInfo info = describeFile(path, *file);
    if (info.channelCount == 1) {
        ScanResultFields f;
        f.fileInfo = std::move(info);
        f.analysisTime = secondsSince(start);
        return ScanResult(std::move(f));
    }
    const StopFlags stopFlags(cancelled_, stop);
    if (info.channelCount >= 3) {
        return analyzeMultichannel(std::move(file), std::move(info), start, stopFlags, pictures);
    }
    if (file->channelCount() != 2) throw AnalysisError(AnalysisError::Case::notStereo);
    StereoSource source(std::move(file), runFramesFor(2, chunkSize_));
    return analyzeStereo(source, std::move(info), std::nullopt, start, stopFlags, pictures);
}

ScanResult AudioAnalyzerService::analyzeSplitPair(const Path& left, const Path& right, const std::atomic<bool>* stop,
                                                  EvidencePictures* pictures) {
    const auto start = Clock::now();
    filesOpened_.fetch_add(2);
    AudioFileInfo info = describeSplitPair(left, right);
    auto leftFile = openAudioFile(left);
    auto rightFile = openAudioFile(right);
    StereoSource source(std::move(leftFile), std::move(rightFile), runFramesFor(2, chunkSize_));
    return analyzeStereo(source, std::move(info), right, start, StopFlags(cancelled_, stop), pictures);
}

ScanResult AudioAnalyzerService::analyzeStereo(StereoSource& source, AudioFileInfo info,
                                               std::optional<Path> pairedFilePath,
                                               std::chrono::steady_clock::time_point start, const StopFlags& stop,
                                               EvidencePictures* pictures) {
    const ChunkGeometry geometry{source.length(), chunkSize_, runFramesFor(2, chunkSize_)};
    EvidenceGatherer evidence(2, geometry.totalFrames, silenceThreshold_);
    const StereoFindings found = source.storesInt16()
                                     ? int16Findings(source, evidence, geometry, silenceThreshold_, stop)
                                     : floatFindings(source, evidence, geometry, silenceThreshold_, stop);
    const StereoVerdict verdict = decideStereo(found, geometry.totalFrames);
    std::optional<PanResidual> residual;
    std::optional<double> panGain;
    if (verdict.pannedMono) {
        residual = measurePanResidual(source, found.moments, verdict.pannedMono->louderChannel,
                                      info.sourceFormatID == kFormatLinearPCM, geometry.runFrames, stop);
        panGain = fitPan(found.moments, verdict.pannedMono->louderChannel).gain;
    }
    ScanResult result = stereoResult(info, verdict, residual, std::move(pairedFilePath), start);
    result.silenceThresholdLinear = silenceThreshold_;
    result.evidence = evidence.evidence(&found.moments, panGain);
    if (pictures) *pictures = evidence.takePictures();
    return result;
}

ScanResult AudioAnalyzerService::analyzeMultichannel(std::unique_ptr<AudioFileReader> file, AudioFileInfo info,
                                                     std::chrono::steady_clock::time_point start, const StopFlags& stop,
                                                     EvidencePictures* pictures) {
    const int channels = file->channelCount();
    const ChunkGeometry geometry{file->length(), chunkSize_, runFramesFor(channels, chunkSize_)};
    MultichannelSource source(std::move(file), geometry.runFrames);
    MultichannelClassifier classifier(channels, silenceThreshold_);
    EvidenceGatherer evidence(channels, geometry.totalFrames, silenceThreshold_);
    MultichannelSink sink{classifier, evidence};
    streamChunks(source, sink, geometry, stop);

    ScanResultFields f;
    f.multichannelAnalysis = classifier.analysis();
    f.evidence = evidence.evidence(nullptr, std::nullopt);
    // A poly file from a field recorder names its tracks (Boom, Lav 1, …).
    const std::vector<std::string> names = readTrackNames(info.path, channels);
    for (std::size_t c = 0; c < names.size() && c < f.evidence.channels.size(); ++c)
        f.evidence.channels[c].trackName = names[c];
    if (pictures) *pictures = evidence.takePictures();
    f.fileInfo = std::move(info);
    f.silenceThresholdLinear = silenceThreshold_;
    f.analysisTime = secondsSince(start);
    return ScanResult(std::move(f));
}

}  // namespace twinfold
