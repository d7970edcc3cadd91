#include "workflow/ConversionQuestions.h"

#include "records/SourceFormat.h"
#include "conversion/ConversionPlan.h"

#include <algorithm>
#include <cmath>

namespace twinfold {

namespace {

bool isLossy(const ScanResult& r) { return r.fileInfo.sourceFormatID != kFormatLinearPCM; }

bool hasRemovableChannels(const ScanResult& r) {
    return r.multichannelAnalysis && !r.multichannelAnalysis->removableChannelIndices().empty();
}

// A decoded source is written as 24-bit PCM, one channel per mono output.
constexpr std::int64_t kWavHeaderBytes = 44;
constexpr std::int64_t kDecodedBytesPerSample = 3;

std::int64_t estimatedWavBytes(const ScanResult& r) {
    const auto frames = std::int64_t(std::llround(r.fileInfo.duration * r.fileInfo.sampleRate));
    const std::int64_t outputs = r.isPhaseInverted ? 2 : 1;
    return outputs * (kWavHeaderBytes + frames * kDecodedBytesPerSample);
}

template <typename Keep>
ConversionQuestion questionAbout(QuestionKind kind, const std::vector<ScanResult>& results, Keep keep) {
    ConversionQuestion question{kind, {}, {}, 0, 0, 0};
    std::copy_if(results.begin(), results.end(), std::back_inserter(question.files), keep);
    return question;
}

ConversionQuestion lossyQuestion(const std::vector<ScanResult>& results) {
    ConversionQuestion question = questionAbout(QuestionKind::lossyFormat, results, isLossy);
    for (const ScanResult& r : question.files) {
        question.sourceBytes += r.fileInfo.fileSize;
        question.estimatedWavBytes += estimatedWavBytes(r);
    }
    return question;
}

ConversionQuestion deleteQuestion(const std::vector<ScanResult>& results) {
    ConversionQuestion question{QuestionKind::deleteOriginals, results, {}, 0, 0, 0};
    for (const ScanResult& r : results) {
        question.originals.push_back(r.fileInfo.path);
        if (r.pairedFilePath) question.originals.push_back(*r.pairedFilePath);
        question.originalBytes += r.fileInfo.fileSize;  // a pair's size counts both files
    }
    return question;
}

}  // namespace

std::vector<ConversionQuestion> conversionQuestions(const std::vector<ScanResult>& all, OriginalFileHandling handling,
                                                    bool lossyNoticeHidden) {
    std::vector<ScanResult> results;
    std::copy_if(all.begin(), all.end(), std::back_inserter(results),
                 [](const ScanResult& r) { return r.isConvertible(); });
    std::vector<ConversionQuestion> questions;
    if (results.empty()) return questions;
    if (!lossyNoticeHidden && std::any_of(results.begin(), results.end(), isLossy))
        questions.push_back(lossyQuestion(results));
    if (auto phase =
            questionAbout(QuestionKind::phaseChoice, results, [](const ScanResult& r) { return r.isPhaseInverted; });
        !phase.files.empty())
        questions.push_back(std::move(phase));
    if (auto multi = questionAbout(QuestionKind::multichannelChoice, results, hasRemovableChannels);
        !multi.files.empty())
        questions.push_back(std::move(multi));
    if (handling == OriginalFileHandling::deleteOriginals) questions.push_back(deleteQuestion(results));
    return questions;
}

std::optional<std::string> unansweredQuestion(const std::vector<ConversionQuestion>& questions,
                                              const ConversionAnswers& answers) {
    for (const ConversionQuestion& question : questions) {
        switch (question.kind) {
        case QuestionKind::lossyFormat:
            if (!answers.lossyAcknowledged)
                return "Not converting: compressed files would be written as WAV, and that was not acknowledged.";
            break;
        case QuestionKind::phaseChoice:
            if (!answers.phaseFix) return "Not converting: no channel was chosen for the phase-inverted files.";
            break;
        case QuestionKind::multichannelChoice:
            if (!answers.multichannel) return "Not converting: no choice was made for the multichannel files.";
            break;
        case QuestionKind::deleteOriginals:
            if (!answers.deletionConfirmed) return "Not converting: deleting the originals was not confirmed.";
            break;
        }
    }
    return std::nullopt;
}

PlanOptions planOptionsFor(const ConversionAnswers& answers) {
    PlanOptions options;
    if (answers.phaseFix) options.phaseFixOption = *answers.phaseFix;
    if (answers.multichannel) options.multichannelOption = *answers.multichannel;
    return options;
}

}  // namespace twinfold
