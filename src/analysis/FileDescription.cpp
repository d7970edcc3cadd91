// Describing files on disk as AudioFileInfo records: opening them is the
// audio layer's business, so it happens here and not in the records.
#include "analysis/FileDescription.h"
#include "audio_io/FileIdentityOf.h"

#include "audio_io/AudioFileReader.h"

#include <cctype>

namespace twinfold {

namespace fs = std::filesystem;

namespace {

std::string lowered(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Bit depth as the stored sample type suggests; packed 24-bit and anything
// unusual count as 24.
int bitDepthForCommonFormat(const AudioFormatInfo& format) {
    switch (format.commonFormat) {
    case CommonFormat::float32: return format.bitsPerChannel == 32 ? 32 : 24;
    case CommonFormat::float64: return 32;
    case CommonFormat::int16: return 16;
    case CommonFormat::int32: return 32;
    case CommonFormat::other: return 24;
    }
    return 24;
}

std::int64_t sizeAttribute(const fs::path& p) {
    // A path that is not a regular file has no meaningful size; failures to
    // read the attributes at all propagate.
    fs::file_status status = fs::status(p);
    if (!fs::is_regular_file(status)) return 0;
    return static_cast<std::int64_t>(fs::file_size(p));
}

}  // namespace

AudioFileInfo describeFile(const fs::path& path) { return describeFile(path, *openAudioFile(path)); }

AudioFileInfo describeFile(const fs::path& path, const AudioFileReader& reader) {
    AudioFileInfo info;
    info.id = Uuid::random();
    info.path = path;
    info.identity = currentFileIdentity(path);
    info.fileSize = sizeAttribute(path);
    const AudioFormatInfo& format = reader.fileFormat();
    info.sourceFormatID = format.formatID;
    info.bitDepth = format.formatID == kFormatLinearPCM ? bitDepthForCommonFormat(format) : 24;
    if (format.formatID == kFormatLinearPCM) {
        info.storedBits = int(format.bitsPerChannel);
        info.isFloat = format.isFloat;
    }
    info.sampleRate = format.sampleRate;
    info.channelCount = format.channelCount;
    info.duration = info.sampleRate > 0 ? double(reader.length()) / info.sampleRate : 0;
    info.filename = path.filename().string();
    info.fileExtension = lowerExtension(path);
    return info;
}

AudioFileInfo describeSplitPair(const fs::path& left, const fs::path& right) {
    auto leftReader = openAudioFile(left);
    auto rightReader = openAudioFile(right);
    const AudioFormatInfo& leftFormat = leftReader->fileFormat();
    const AudioFormatInfo& rightFormat = rightReader->fileFormat();
    using Case = SplitStereoError::Case;
    // A side with more than one channel is a recording of its own: pairing
    // it would judge and keep only its first channel.
    if (leftFormat.channelCount != 1 || rightFormat.channelCount != 1) throw SplitStereoError(Case::notMono);
    if (leftFormat.sampleRate != rightFormat.sampleRate) throw SplitStereoError(Case::mismatchedSampleRate);
    if (leftReader->length() != rightReader->length()) throw SplitStereoError(Case::mismatchedFrameCount);
    int leftDepth = bitDepthForCommonFormat(leftFormat);
    if (leftDepth != bitDepthForCommonFormat(rightFormat)) throw SplitStereoError(Case::mismatchedBitDepth);

    std::int64_t size = sizeAttribute(left);
    size += sizeAttribute(right);

    std::string stem = left.stem().string();
    std::string lowerStem = lowered(stem);
    bool marked = lowerStem.size() >= 2 && (lowerStem.ends_with(".l") || lowerStem.ends_with(".r"));
    if (!marked || stem.size() < 3) throw SplitStereoError(Case::invalidFilename);

    AudioFileInfo info;
    info.id = Uuid::random();
    info.path = left;
    info.identity = currentFileIdentity(left);
    info.pairedIdentity = currentFileIdentity(right);
    info.fileExtension = lowerExtension(left);
    info.filename = stem.substr(0, stem.size() - 2) + "." + info.fileExtension;
    info.fileSize = size;
    info.sampleRate = leftFormat.sampleRate;
    info.bitDepth = leftDepth;
    info.storedBits = int(leftFormat.bitsPerChannel);
    info.isFloat = leftFormat.isFloat;
    info.channelCount = 2;
    info.duration = info.sampleRate > 0 ? double(leftReader->length()) / info.sampleRate : 0;
    info.sourceFormatID = kFormatLinearPCM;
    return info;
}

}  // namespace twinfold
