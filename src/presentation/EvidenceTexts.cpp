#include "presentation/EvidenceTexts.h"

namespace twinfold {

std::vector<std::string> verdictSentences(const ScanResult&) { return {}; }

}  // namespace twinfold
