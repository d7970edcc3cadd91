#include "conversion/ConversionSupport.h"

#include "audio_io/AudioIOError.h"

#include <set>

namespace twinfold {

void report(const ProgressHandler& progress, double fraction) {
    if (progress) progress(fraction);
}

void requireFormat(const AudioFileReader& reader, int minChannels) {
    if (reader.channelCount() < minChannels || !(reader.sampleRate() > 0)) {
        throw ConversionError(ConversionError::Case::invalidFormat);
    }
}

void requireChannels(const std::vector<int>& channels, int channelCount, bool unique) {
    std::set<int> seen;
    bool valid = !channels.empty();
    for (int channel : channels) {
        valid = valid && channel >= 0 && channel < channelCount && (!unique || seen.insert(channel).second);
    }
    if (!valid) throw ConversionError(ConversionError::Case::invalidFormat);
}

AudioFileWriter& createOutput(OutputFiles& outputs, const std::filesystem::path& path, const WriterSettings& settings) {
    try {
        return outputs.create(path, settings);
    } catch (const AudioIOError& error) {
        // The library's text starts with the (temporary) path; the user
        // knows the file by its final name.
        std::string reason = error.what();
        const std::size_t colon = reason.rfind(": ");
        if (colon != std::string::npos) reason.erase(0, colon + 2);
        throw ConversionError::cannotCreate(path.filename().string(), reason);
    }
}

}  // namespace twinfold
