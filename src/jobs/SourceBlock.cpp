#include "jobs/SourceBlock.h"

#include "conversion/ChannelStreamer.h"
#include "jobs/OutputVerifier.h"

namespace twinfold {

SourceBlock::SourceBlock(const std::vector<std::filesystem::path>& files,
                         const std::function<std::uint32_t(int channels)>& capacity, Open open) {
    for (const auto& path : files) {
        File file{path, open(path)};
        file.isInt = deliversStoredIntegers(*file.reader);
        for (int c = 0; c < file.reader->channelCount(); ++c) channels_.push_back({files_.size(), c});
        files_.push_back(std::move(file));
    }
    capacity_ = capacity(channelCount());
    for (File& file : files_) {
        if (file.isInt)
            file.ints.reset(file.reader->channelCount(), capacity_);
        else
            file.floats.reset(file.reader->channelCount(), capacity_);
    }
}

void SourceBlock::read(std::uint32_t frames) {
    for (File& file : files_) {
        std::uint32_t got = 0;
        try {
            if (file.isInt) {
                file.reader->readInt(file.ints, frames);
                got = file.ints.frameLength();
            } else {
                file.reader->read(file.floats, frames);
                got = file.floats.frameLength();
            }
        } catch (const std::exception& error) {
            throw VerificationError(VerificationError::Case::unreadable, file.path.filename().string(), error.what());
        }
        if (got != frames) {
            throw VerificationError(VerificationError::Case::unreadable, file.path.filename().string(),
                                    "the file ended early");
        }
    }
    for (Channel& channel : channels_) channel.isConverted = false;
    frames_ = frames;
}

bool SourceBlock::isInt(int channel) const { return files_[fileOf(channel)].isInt; }

const std::int32_t* SourceBlock::ints(int channel) const {
    const Channel& c = channels_[std::size_t(channel)];
    return files_[c.file].ints.channel(c.local);
}

const float* SourceBlock::floats(int channel) const {
    const Channel& c = channels_[std::size_t(channel)];
    const File& file = files_[c.file];
    if (!file.isInt) return file.floats.channel(c.local);
    if (!c.isConverted) {
        c.converted.resize(file.ints.capacity());
        const std::int32_t* in = file.ints.channel(c.local);
        for (std::uint32_t n = 0; n < frames_; ++n) c.converted[n] = float(in[n]) * 0x1p-31f;
        c.isConverted = true;
    }
    return c.converted.data();
}

}  // namespace twinfold
