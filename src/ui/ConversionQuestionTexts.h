#pragma once

#include "workflow/ConversionQuestions.h"

#include <QString>

namespace twinfold {

// The words of the window's questions before a conversion.

// How much larger the WAV outputs will be than the compressed sources.
QString lossySizeText(const ConversionQuestion& question);
// "Delete 3 originals (12.4 MB) permanently after converting?"
QString deletionQuestionText(const ConversionQuestion& question);
// The files the deletion would remove, one path a line.
QString deletionListText(const ConversionQuestion& question);

}  // namespace twinfold
