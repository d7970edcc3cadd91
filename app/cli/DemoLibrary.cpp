#include "DemoLibrary.h"

#include "DemoSignals.h"
#include "audio_io/AudioFileWriter.h"
#include "audio_io/ChunkFile.h"
#include "audio_io/FfmpegEncoder.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

constexpr double seconds = 3.0;

struct PcmSpec {
    double sampleRate = 48000;
    int bits = 24;
};

std::size_t framesAt(double sampleRate) { return std::size_t(seconds * sampleRate); }

IntSignal melody(std::vector<double> notes, const PcmSpec& pcm, std::uint32_t seed, double noteSeconds = 0.5) {
    return synthesize({std::move(notes), noteSeconds, 0.4, seed}, framesAt(pcm.sampleRate), pcm.sampleRate, pcm.bits);
}

// Calls `created` once the file exists, so a failure later on can remove it.
void writePcm(const fs::path& path, const PcmSpec& pcm, const std::vector<IntSignal>& channels,
              const std::function<void(const fs::path&)>& created) {
    const bool aiff = path.extension() == ".aif" || path.extension() == ".aiff";
    const int channelCount = int(channels.size());
    auto writer = createAudioFile(path, {pcm.sampleRate, channelCount, pcm.bits, aiff});
    created(path);
    constexpr std::uint32_t block = 65536;
    IntPCMBuffer buffer(channelCount, block);
    const std::size_t frames = channels.front().size();
    for (std::size_t start = 0; start < frames; start += block) {
        const auto n = std::uint32_t(std::min<std::size_t>(block, frames - start));
        for (int c = 0; c < channelCount; ++c) {
            // Integer samples are passed left-justified in 32 bits.
            std::transform(channels[c].begin() + start, channels[c].begin() + start + n, buffer.channel(c),
                           [&](std::int32_t k) { return std::int32_t(std::uint32_t(k) << (32 - pcm.bits)); });
        }
        buffer.setFrameLength(n);
        writer->writeInt(buffer);
    }
    writer->close();
}

void writeEncoded(const fs::path& path, EncodedFormat format, const IntSignal& left, const IntSignal& right,
                  const std::function<void(const fs::path&)>& created) {
    encodeAudioFile(path, {toFloat(left, 16), toFloat(right, 16)}, 44100, format);
    created(path);
}

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

void putText(std::vector<std::uint8_t>& out, std::size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), out.begin() + std::ptrdiff_t(offset));
}

// A broadcast extension chunk (version 1): description, originator, date,
// time and coding history; the time reference, UMID and reserved bytes stay zero.
std::vector<std::uint8_t> bextChunk() {
    std::vector<std::uint8_t> data(602, 0);
    putText(data, 0, "Twinfold demo: interview recorded on a stereo recorder, both channels the same");
    putText(data, 256, "Twinfold");
    putText(data, 288, "TWFDEMO0001");
    putText(data, 320, "2025-03-07");
    putText(data, 330, "14:05:00");
    data[346] = 1;  // version, little-endian 16 bits
    const auto history = bytes("A=PCM,F=48000,W=24,M=stereo,T=Twinfold demo\r\n");
    data.insert(data.end(), history.begin(), history.end());
    return data;
}

std::vector<std::uint8_t> ixmlChunk() {
    return bytes(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<BWFXML><IXML_VERSION>1.61</IXML_VERSION><PROJECT>Twinfold Demo</PROJECT>"
        "<SCENE>1</SCENE><TAKE>3</TAKE><NOTE>Interview, dual mono</NOTE></BWFXML>\n");
}

// LIST/INFO with a title, artist, comment and software entry; every entry
// zero-terminated and padded to an even length, as RIFF requires.
std::vector<std::uint8_t> listInfoChunk() {
    std::vector<std::uint8_t> data = bytes("INFO");
    for (const auto& [id, text] :
         {std::pair{"INAM", "Broadcast Interview"}, std::pair{"IART", "Twinfold"},
          std::pair{"ICMT", "Demo file with metadata chunks"}, std::pair{"ISFT", "twinfold-cli demo"}}) {
        std::vector<std::uint8_t> value = bytes(text);
        value.push_back(0);
        const auto size = std::uint32_t(value.size());
        if (value.size() % 2) value.push_back(0);
        const auto idBytes = bytes(id);
        data.insert(data.end(), idBytes.begin(), idBytes.end());
        for (int shift = 0; shift < 32; shift += 8) data.push_back(std::uint8_t(size >> shift));
        data.insert(data.end(), value.begin(), value.end());
    }
    return data;
}

void appendMetadata(const fs::path& path) {
    auto file = ChunkFile::open(path, true);
    file->append(fourCC("bext"), bextChunk());
    file->append(fourCC("iXML"), ixmlChunk());
    file->append(fourCC("LIST"), listInfoChunk());
    file->close();
}

using Created = std::function<void(const fs::path&)>;
struct DemoFile {
    std::vector<std::string> names;  // more than one for a split pair
    std::function<void(const fs::path& dir, const Created&)> write;
};

std::vector<DemoFile> pcmFiles() {
    const PcmSpec hd{48000, 24}, cd{44100, 16};
    return {
        {{"Dual Mono Guitar.wav"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal g = melody({196.0, 246.9, 293.7, 392.0}, hd, 1);
             writePcm(d / "Dual Mono Guitar.wav", hd, {g, g}, c);
         }},
        {{"Panned Vocal.wav"},
         [=](const fs::path& d, const Created& c) {
             // The right channel at 0.31 of the left: panned 69 % to the left.
             const IntSignal v = melody({440.0, 392.0, 349.2, 329.6}, hd, 2, 0.75);
             writePcm(d / "Panned Vocal.wav", hd, {v, scaledSignal(v, 0.31)}, c);
         }},
        {{"Phase Inverted Bass.wav"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal b = melody({55.0, 73.4, 82.4, 61.7}, hd, 3);
             writePcm(d / "Phase Inverted Bass.wav", hd, {b, invertedSignal(b)}, c);
         }},
        {{"Silent Left Keys.aif"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal k = melody({523.3, 659.3, 784.0}, cd, 4);
             writePcm(d / "Silent Left Keys.aif", cd, {silentSignal(k.size()), k}, c);
         }},
        {{"Silent Right Pad.wav"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal p = melody({261.6, 329.6}, cd, 5, 1.5);
             writePcm(d / "Silent Right Pad.wav", cd, {p, silentSignal(p.size())}, c);
         }},
        {{"Empty Take.wav"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal z = silentSignal(framesAt(hd.sampleRate));
             writePcm(d / "Empty Take.wav", hd, {z, z}, c);
         }},
        {{"True Stereo Ambience.wav"},
         [=](const fs::path& d, const Created& c) {
             writePcm(d / "True Stereo Ambience.wav", hd,
                      {melody({880.0, 1046.5}, hd, 7, 0.25), melody({987.8, 1174.7, 1318.5}, hd, 8, 0.375)}, c);
         }},
        {{"Mono Kick.wav"},
         [=](const fs::path& d, const Created& c) {
             writePcm(d / "Mono Kick.wav", hd, {melody({50.0}, hd, 9, 0.5)}, c);
         }},
        {{"Overheads.L.wav", "Overheads.R.wav"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal o = melody({1318.5, 1568.0}, hd, 10, 0.375);
             writePcm(d / "Overheads.L.wav", hd, {o}, c);
             writePcm(d / "Overheads.R.wav", hd, {o}, c);
         }},
        {{"Surround Mix.wav"},
         [=](const fs::path& d, const Created& c) {
             // L, R, C, LFE, Ls, Rs: the LFE is silent and the surrounds are identical.
             const IntSignal surround = melody({110.0, 146.8}, hd, 14, 0.75);
             writePcm(d / "Surround Mix.wav", hd,
                      {melody({220.0, 277.2}, hd, 11), melody({233.1, 293.7}, hd, 12), melody({329.6}, hd, 13, 1.0),
                       silentSignal(surround.size()), surround, surround},
                      c);
         }},
    };
}

std::vector<DemoFile> otherFiles() {
    const PcmSpec cd{44100, 16}, hd{48000, 24};
    return {
        {{"Podcast Dual Mono.mp3"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal p = melody({293.7, 370.0, 440.0}, cd, 15);
             writeEncoded(d / "Podcast Dual Mono.mp3", EncodedFormat::mp3, p, p, c);
         }},
        {{"Voice Memo.m4a"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal m = melody({349.2, 440.0, 523.3}, cd, 16);
             writeEncoded(d / "Voice Memo.m4a", EncodedFormat::m4aAac, m, m, c);
         }},
        {{"Broadcast Interview.wav"},
         [=](const fs::path& d, const Created& c) {
             const IntSignal i = melody({180.0, 200.0, 220.0}, hd, 17, 0.3);
             writePcm(d / "Broadcast Interview.wav", hd, {i, i}, c);
             appendMetadata(d / "Broadcast Interview.wav");
         }},
    };
}

}  // namespace

std::vector<fs::path> writeDemoLibrary(const fs::path& directory) {
    std::vector<DemoFile> files = pcmFiles();
    for (DemoFile& f : otherFiles()) files.push_back(std::move(f));
    for (const DemoFile& f : files) {
        for (const std::string& name : f.names) {
            std::error_code ec;
            if (fs::exists(fs::symlink_status(directory / name, ec)))
                throw std::runtime_error("Not overwriting " + (directory / name).string() +
                                         ": the demo library needs that name");
        }
    }
    fs::create_directories(directory);
    std::vector<fs::path> written;
    try {
        for (const DemoFile& f : files) f.write(directory, [&](const fs::path& p) { written.push_back(p); });
    } catch (...) {
        std::error_code ignored;
        for (const fs::path& p : written) fs::remove(p, ignored);
        throw;
    }
    return written;
}

}  // namespace twinfold::cli
