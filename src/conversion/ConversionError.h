#pragma once

#include <stdexcept>
#include <string>

namespace twinfold {

// The converter's own failures. what() is the text the user sees; failures of
// the audio libraries and the file system pass through as AudioIOError or
// std::filesystem::filesystem_error instead.
class ConversionError : public std::runtime_error {
public:
    enum class Case {
        fileExists,          // "Output file already exists: " + name
        cannotCreateOutput,  // "Cannot create output file" [+ " " + name + ": " + reason]
        readError,           // "Error reading audio data"
        invalidFormat,       // "Invalid audio format"
        cancelled,           // "Conversion was cancelled"
        invalidSuffix,       // "The output name suffix must not contain \"/\" or a NUL character"
    };

    explicit ConversionError(Case c);
    // The fileExists case, naming the output file (its last path component).
    static ConversionError fileExists(const std::string& fileName);
    // The cannotCreateOutput case, naming the output file and why the
    // system refused it ("File name too long").
    static ConversionError cannotCreate(const std::string& fileName, const std::string& reason);

    Case errorCase() const { return case_; }
    // The output name of a fileExists or named cannotCreateOutput error, else empty.
    const std::string& fileName() const { return fileName_; }

private:
    ConversionError(Case c, std::string fileName, const std::string& reason = {});

    Case case_;
    std::string fileName_;
};

}  // namespace twinfold
