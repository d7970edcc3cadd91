#pragma once

#include <stdexcept>

namespace twinfold {

// Why a folder listing failed; what() is the text shown to the user.
class ScanError : public std::runtime_error {
public:
    enum class Case { invalidDirectory, accessDenied, cancelled };

    explicit ScanError(Case errorCase);

    Case errorCase() const noexcept { return case_; }

    static const char* description(Case errorCase) noexcept;

private:
    Case case_;
};

}  // namespace twinfold
