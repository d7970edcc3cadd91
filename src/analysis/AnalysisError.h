#pragma once

#include <stdexcept>

namespace twinfold {

// Why the analysis of a file or pair failed; what() is the text shown to the user.
// Failures of the audio libraries and the file system are not wrapped: they
// pass through as AudioIOError / std::filesystem::filesystem_error.
class AnalysisError : public std::runtime_error {
public:
    enum class Case {
        notStereo,  // "File is not stereo"
        readError,  // "Error reading audio data"
        cancelled,  // "Analysis was cancelled"
    };

    explicit AnalysisError(Case errorCase);

    Case errorCase() const noexcept { return case_; }

    static const char* description(Case errorCase) noexcept;

private:
    Case case_;
};

}  // namespace twinfold
