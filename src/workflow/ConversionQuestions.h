#pragma once

// What the user must answer before a conversion may run, and the request
// that carries those answers. A front end asks questionsFor() its
// selection, puts each question to the user in the order given (the window
// as dialogs, the command line from its options and its confirmation) and
// hands the answers over in a ConversionRequest. A request that leaves a
// needed question open is refused: nothing is ever decided for the user.

#include "conversion/ConversionOptions.h"
#include "conversion/ConversionPlan.h"
#include "records/AppSettings.h"
#include "records/ScanResult.h"
#include "records/Uuid.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace twinfold {

enum class QuestionKind {
    lossyFormat,         // compressed sources are written as (larger) WAV files
    phaseChoice,         // which channel of a phase-inverted file to keep
    multichannelChoice,  // split every channel, or keep the unique ones
    deleteOriginals,     // the originals are deleted once the outputs are proven
};

struct ConversionQuestion {
    QuestionKind kind = QuestionKind::lossyFormat;
    // The results the question is about, in the list's order.
    std::vector<ScanResult> files;
    // deleteOriginals: every file that would be deleted, and their total size.
    std::vector<std::filesystem::path> originals;
    std::int64_t originalBytes = 0;
    // lossyFormat: the compressed sources' size and the WAV outputs' estimated size.
    std::int64_t sourceBytes = 0;
    std::int64_t estimatedWavBytes = 0;
};

struct ConversionAnswers {
    std::optional<PhaseFixOption> phaseFix;
    std::optional<MultichannelConversionOption> multichannel;
    bool lossyAcknowledged = false;
    bool deletionConfirmed = false;
};

struct ConversionRequest {
    std::set<Uuid> selection;  // results to convert; those that cannot be are left out
    ConversionAnswers answers;
};

// The questions converting `results` raises, in the order they are asked:
// the lossy notice (unless the user hid it), the phase choice, the
// multichannel choice, then the deletion.
std::vector<ConversionQuestion> conversionQuestions(const std::vector<ScanResult>& results,
                                                    OriginalFileHandling handling, bool lossyNoticeHidden);

// Why `answers` cannot start the conversion (the first question left
// open), or nothing when every question is answered.
std::optional<std::string> unansweredQuestion(const std::vector<ConversionQuestion>& questions,
                                              const ConversionAnswers& answers);

// The options the plan is made with; only answered questions reach here.
PlanOptions planOptionsFor(const ConversionAnswers& answers);

}  // namespace twinfold
