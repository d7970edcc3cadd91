#include "AudioIoTestSupport.h"
#include "audio_io/AudioFileOpen.h"
#include "audio_io/FfmpegReader.h"
#include "audio_io/SndfileReader.h"

#include <array>
#include <atomic>
#include <iterator>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <tuple>

namespace twinfold::test {
namespace {

using Paths = std::vector<std::filesystem::path>;

// Each opener must refuse `path` with an AudioIOError naming it and the reason.
void expectRefused(const std::filesystem::path& path, const std::string& reason) {
    for (auto open : {&openAudioFile, &openSndfileFile}) {
        const std::string message = openError(open, path);
        EXPECT_TRUE(contains(message, path.string()) && contains(message, reason)) << message;
    }
}

TEST(AudioFileOpenTest, RefusesWhatIsNotAnAudioFile) {
    TempDir dir;
    writeFile(dir / "empty.wav", "");
    writeFile(dir / "notes.wav", "These are my session notes, not audio.\n");
    writeFile(dir / "broken.wav", std::string("RIFF\x24\x00\x00\x00WAVEjunk", 16));
    std::filesystem::create_directory(dir / "folder.wav");
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0600), 0);  // opening must not wait for a writer
    const std::pair<std::string, std::string> cases[] = {{"empty.wav", "empty"},
                                                         {"notes.wav", ""},
                                                         {"broken.wav", ""},
                                                         {"folder.wav", "Is a directory"},
                                                         {"missing.wav", "No such file or directory"},
                                                         {"notes.wav/x.wav", "Not a directory"},
                                                         {"pipe.wav", "not a regular file"}};
    for (const auto& [name, reason] : cases) {
        expectRefused(dir / name, reason);
        const std::string ffmpeg = openError(&openFfmpegFile, dir / name);
        EXPECT_NE(ffmpeg, "opened") << name;
        // The system's own reason (strerror's texts start with a capital) reaches FFmpeg's message too.
        EXPECT_TRUE(!std::isupper(reason[0]) || ffmpeg.find(reason) != std::string::npos) << ffmpeg;
    }
}

// An 80-bit extended value as AIFF stores its sample rate.
std::array<std::uint8_t, 10> extended(double value) {
    int exponent = 0;
    std::uint64_t mantissa = 0;
    if (!std::isfinite(value)) {
        exponent = 0x7FFF;
        mantissa = std::isnan(value) ? 0xC000000000000000u : 0;
    } else if (value != 0) {
        mantissa = std::uint64_t(std::ldexp(std::frexp(value, &exponent), 64));
        exponent += 16382;
    }
    std::array<std::uint8_t, 10> bytes{};
    storeBE(bytes.data(), std::uint64_t(exponent), 2);
    storeBE(bytes.data() + 2, mantissa, 8);
    return bytes;
}

// A header that makes no sense is refused by every decoder, whatever the
// library would have made of it (libsndfile reads an AIFF rate of 0 as
// 1 Hz and an infinite one as 67 MHz; both libraries accept any block align).
// Each row rewrites the format chunk of a valid 16-bit stereo fixture. WAV:
// 'fmt ' holds channels at 22, rate at 24, block align at 32; AIFF: 'COMM'
// holds the 80-bit rate at 28. Then come our reason for refusing the file
// (empty: it opens) and what FFmpeg's own refusal must say, if ours.
TEST(AudioFileOpenTest, RefusesHeadersThatMakeNoSense) {
    const bool aif = true, wav = false;
    const std::tuple<const char*, bool, double, std::uint16_t, std::uint32_t, std::uint16_t, const char*, const char*>
        cases[] = {
            {"rate48k.aif", aif, 48000, 2, 48000, 4, "", ""},
            {"rate44k1.aif", aif, 44100, 2, 48000, 4, "", ""},
            {"rate0.aif", aif, 0, 2, 48000, 4, "sample rate 0 Hz is not plausible", ""},
            {"rateInf.aif", aif, INFINITY, 2, 48000, 4, "sample rate infinite is not plausible", ""},
            {"rateNaN.aif", aif, NAN, 2, 48000, 4, "sample rate not a number is not plausible", ""},
            {"rate3M.aif", aif, 3e6, 2, 48000, 4, "sample rate 3000000 Hz is not plausible", "3000000 Hz"},
            {"rateHalf.aif", aif, 0.5, 2, 48000, 4, "sample rate 0.5 Hz is not plausible", ""},
            {"plain.wav", wav, 0, 2, 48000, 4, "", ""},
            {"rate1536k.wav", wav, 0, 2, 1'536'000, 4, "", ""},
            {"rate0.wav", wav, 0, 2, 0, 4, "sample rate 0 Hz is not plausible", ""},
            {"rate1537k.wav", wav, 0, 2, 1'537'000, 4, "sample rate 1537000 Hz is not plausible", "1537000 Hz"},
            {"channels0.wav", wav, 0, 0, 48000, 0, "channel count 0 is not plausible", ""},
            {"channels2000.wav", wav, 0, 2000, 48000, 4000, "channel count 2000 is not plausible", ""},
            {"align6.wav", wav, 0, 2, 48000, 6, "block align 6 does not match 2 channels of 16 bits", "block align 6"},
            {"align2.wav", wav, 0, 2, 48000, 2, "block align 2 does not match", "block align 2"},
        };
    TempDir dir;
    for (const auto& [name, aiff, aiffRate, wavChannels, wavRate, wavBlockAlign, reason, ffmpegReason] : cases) {
        const auto path = dir / name;
        writeChunkFixture(path, {.container = aiff ? ChunkFixtureContainer::aiff : ChunkFixtureContainer::wave,
                                 .samples = std::vector<std::int32_t>(200, 1000)});
        std::vector<std::uint8_t> bytes = fileBytes(path);
        if (aiff) {
            const auto rate = extended(aiffRate);
            std::copy(rate.begin(), rate.end(), bytes.begin() + 28);
        } else {
            storeLE(&bytes[22], wavChannels, 2);
            storeLE(&bytes[24], wavRate, 4);
            storeLE(&bytes[32], wavBlockAlign, 2);
        }
        overwriteFileBytes(path, bytes);
        if (*reason == 0) {
            EXPECT_EQ(openError(&openAudioFile, path) + " | " + openError(&openFfmpegFile, path), "opened | opened");
            continue;
        }
        SCOPED_TRACE(name);
        expectRefused(path, reason);
        const std::string ffmpeg = openError(&openFfmpegFile, path);
        EXPECT_NE(ffmpeg, "opened");
        EXPECT_TRUE(!*ffmpegReason || (contains(ffmpeg, path.string() + ": ") && contains(ffmpeg, ffmpegReason)))
            << ffmpeg;
    }
}

// PCM goes to libsndfile whatever its name, also behind an ID3 tag some
// tools put in front of it; what only the compressed decoder reads goes there.
TEST(AudioFileOpenTest, ChoosesTheDecoderByContentNotByName) {
    TempDir dir;
    const Channels written = stereo(StereoKind::trueStereo, 1000, PcmEncoding::int24);
    writePcm(dir / "pcm.mp3", {PcmContainer::aiff, PcmEncoding::int24}, written);
    writePcm(dir / "plain.wav", {PcmContainer::wav, PcmEncoding::int24}, written);
    // An ID3v2.4 tag of 20 bytes (size 0x14, syncsafe), all padding.
    using namespace std::string_literals;  // the NUL bytes stay in the strings
    for (const char* name : {"pcm.mp3", "plain.wav"})
        writeFile(dir / (std::string("tagged-") + name),
                  "ID3\4\0\0\0\0\0\x14"s + std::string(20, '\0') + fileText(dir / name));
    const std::string padding(500, '\0');
    writeFile(dir / "tagged.wav", "ID3\4\0\0\0\0\0\0"s + padding);
    writeFile(dir / "adts.wav", "\xFF\xF1\x50\x80\x02\x1F\xFC"s + padding);
    writeFile(dir / "movie.wav", "\0\0\0 ftypM4A "s + padding);
    writeFile(dir / "broken.aif", "FORM\0\0\x10\0AIFFCOMM"s);
    writeFile(dir / "text.wav", "plain text");

    // Records which files were handed to the compressed-audio decoder.
    Paths opened;
    const auto spy = [&](const std::filesystem::path& path) -> std::unique_ptr<AudioFileReader> {
        opened.push_back(path);
        throw AudioIOError("spy decoder");
    };
    const auto spyError = [&](const char* name) {
        return openError([&](const auto& p) { return detail::openAudioFileWith(p, spy); }, dir / name);
    };
    for (const char* name : {"pcm.mp3", "tagged-pcm.mp3", "tagged-plain.wav"}) {
        auto reader = detail::openAudioFileWith(dir / name, spy);
        const FloatChannels read = readToEnd(*reader, 1000);
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(read[c], std::vector<float>(written[c].begin(), written[c].end())) << name;
    }
    for (const char* name : {"tagged.wav", "adts.wav", "movie.wav"}) EXPECT_EQ(spyError(name), "spy decoder") << name;
    // A broken PCM container is libsndfile's to report. Unknown content gets
    // a second opinion, but libsndfile's verdict is reported.
    for (const char* name : {"broken.aif", "text.wav"}) {
        const std::string message = spyError(name);
        EXPECT_TRUE(message != "opened" && message != "spy decoder") << name << ": " << message;
    }
    EXPECT_EQ(opened, (Paths{dir / "tagged.wav", dir / "adts.wav", dir / "movie.wav", dir / "text.wav"}));
}

// libsndfile closes the descriptor of a file it rejects. Were it closed a
// second time, the number could by then belong to a file another thread has
// just opened, which would then fail to read or read a different file.
TEST(AudioFileOpenTest, ParallelOpensOfBrokenFilesLeaveOtherThreadsFilesAlone) {
    TempDir dir;
    constexpr int kFiles = 8, kThreads = 8, kRounds = 250;
    std::vector<FloatChannels> contents;
    for (int i = 0; i < kFiles; ++i) {
        // Each file its own length and levels, so a misread shows.
        const Signal signal(std::size_t(40 + i), (i + 1) / 256.0);
        writePcm(dir / numbered("valid", i), {}, {signal, scaled(signal, -1, PcmEncoding::int16)});
        contents.push_back({std::vector<float>(signal.size(), float(signal[0])),
                            std::vector<float>(signal.size(), -float(signal[0]))});
        writeFile(dir / numbered("broken", i), std::string("RIFF\x04\x00\x00\x00WAVE", 12));
    }
    std::atomic<int> faults = 0;
    const auto work = [&](int thread) {
        for (int round = 0; round < kRounds; ++round) {
            const int i = (thread + round) % kFiles;
            faults += openError(&openAudioFile, dir / numbered("broken", i)) == "opened";
            try {
                if (readToEnd(*openAudioFile(dir / numbered("valid", i)), 16) != contents[std::size_t(i)]) ++faults;
            } catch (const AudioIOError&) {
                ++faults;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(faults, 0) << "broken files opened, valid files refused or misread";
}

// ---- the FFmpeg reader and encoder ---------------------------------------------------

struct FormatCase {
    EncodedFormat format;
    std::uint32_t formatID;
    CommonFormat commonFormat;
    int bitsPerChannel;
    bool gapless;  // the container declares delay and padding, so the length is the input's
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << extensionFor(c.format) << ' ' << fourCCText(c.formatID); }

const FormatCase kFormats[] = {
    {EncodedFormat::mp3, kFormatMPEGLayer3, CommonFormat::other, 0, true},
    {EncodedFormat::m4aAac, kFormatMPEG4AAC, CommonFormat::other, 0, true},
    {EncodedFormat::m4aAlac, kFormatAppleLossless, CommonFormat::int16, 16, true},
    {EncodedFormat::adtsAac, kFormatMPEG4AAC, CommonFormat::other, 0, false},
};

class FfmpegFormatTest : public testing::TestWithParam<FormatCase> {
protected:
    std::filesystem::path write(const FloatChannels& channels, const std::string& stem = "a", int rate = 44100) {
        return writeCompressed(dir.path(), stem + extensionFor(GetParam().format), channels, GetParam().format, rate);
    }
    TempDir dir;
};

// Encoder delay and padding are trimmed where the container declares them,
// so a track keeps its exact length (what makes gapless playback work).
// Lengths just past a whole MP3 frame are where the padding spans two
// frames; mono at 22.05 kHz is MPEG-2 audio with half-size frames, and a
// raw AAC file of a frame or two.
TEST_P(FfmpegFormatTest, DeclaredDelayAndPaddingAreTrimmed) {
    // Channels, rate and lengths. FFmpeg 5.1's decoder forgets the rest of the
    // start trim when the second packet already carries end padding, so
    // MPEG-2 files of under 47 frames decode too long; they are left out here.
    const std::tuple<int, int, std::vector<std::size_t>> shapes[] = {
        {2, 44100, {1, 46, 577, 1151, 1153, 2350, 4096, 44'677}},
        {1, 22050, {47, 577, 1151, 1153, 2350, 4096, 44'677}}};
    for (const auto& [channels, rate, lengths] : shapes) {
        for (std::size_t frames : lengths) {
            const auto name = std::to_string(rate) + "-" + std::to_string(frames);
            const FloatChannels input = independentNoise(frames, channels);
            auto reader = openFfmpegFile(write(input, name, rate));
            ASSERT_EQ(reader->channelCount(), channels);
            const std::int64_t length = reader->length();
            EXPECT_TRUE(GetParam().gapless ? length == std::int64_t(frames) : length >= std::int64_t(frames)) << name;
            const FloatChannels decoded = readToEnd(*reader, 1000);
            EXPECT_EQ(std::int64_t(decoded[0].size()), length) << name;
            EXPECT_TRUE(GetParam().format != EncodedFormat::m4aAlac || decoded == input) << name;  // ALAC is lossless
        }
    }
}

// Seeks land on the samples of a sequential read: forward, back into the
// frame just decoded, backward, to the last frame and past the end. With
// garbage over the middle of the file the decoder drops what it cannot
// decode, the same way on every pass, so the length and seeking stay exact.
TEST_P(FfmpegFormatTest, ReportsItsFormatAndSeeksToTheSamplesOfASequentialReadAlsoWhenDamaged) {
    const auto path = write(independentNoise(60'000, 2), "a", 48000);
    auto reader = openFfmpegFile(path);
    const AudioFormatInfo& f = reader->fileFormat();
    EXPECT_EQ(
        std::tuple(f.sampleRate, f.channelCount, fourCCText(f.formatID), f.commonFormat, f.bitsPerChannel, f.isFloat),
        std::tuple(48000.0, 2, fourCCText(GetParam().formatID), GetParam().commonFormat, GetParam().bitsPerChannel,
                   false));
    FloatChannels whole = readToEnd(*reader, 1'000'000);
    std::int64_t length = reader->length();
    expectSeeksMatch(*reader, whole, {25'000, 27'999, 1, 0, 1152, 1151, 40'000, 3000, length - 1, length, length + 7});

    std::string bytes = fileText(path);
    std::mt19937 random(9);
    for (std::size_t i = 0; i < std::min<std::size_t>(bytes.size() / 4, 1500); ++i)
        bytes[bytes.size() / 2 + i] = char(random());
    writeFile(path, bytes);
    reader = openFfmpegFile(path);
    whole = readToEnd(*reader, 1000);
    length = reader->length();
    ASSERT_TRUE(std::int64_t(whole[0].size()) == length && length > 20'000) << length;
    expectSeeksMatch(*reader, whole, {length / 2, length / 3, 0});
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, FfmpegFormatTest, testing::ValuesIn(kFormats));

// Channels come out in the order they went in: the silent ones stay where
// they were.
TEST(FfmpegReaderTest, MultichannelKeepsChannelOrder) {
    TempDir dir;
    FloatChannels input = independentNoise(20'000, 6);
    for (const std::size_t c : {1, 4}) input[c].assign(input[c].size(), 0.0f);
    for (EncodedFormat format : {EncodedFormat::m4aAac, EncodedFormat::m4aAlac}) {
        const auto path = writeCompressed(dir.path(), std::to_string(int(format)) + ".m4a", input, format);
        auto reader = openFfmpegFile(path);
        ASSERT_EQ(reader->channelCount(), 6);
        const FloatChannels decoded = readToEnd(*reader, 4096);
        for (std::size_t c = 0; c < 6; ++c)
            EXPECT_EQ(decoded[c] == std::vector<float>(20'000), c == 1 || c == 4) << int(format) << " channel " << c;
    }
}

// A WAV of a few dozen bytes whose INFO entry declares 1.8 GB: FFmpeg would
// allocate (and clear) that much before finding the bytes missing.
TEST(FfmpegBadInputTest, ADeclaredLengthNeverBecomesAHugeAllocation) {
    TempDir dir;
    std::string fmt("fmt \x10\0\0\0\x01\0\x02\0\x80\xBB\0\0\0\xEE\x02\0\x04\0\x10\0", 24);
    std::string list("LIST\xF0\xFF\xFF\x7FINFOISFT\0\0\0\x70Lavf", 24);  // 'I' and 'L' end the escapes
    writeFile(dir / "info.wav", std::string("RIFF\x3C\0\0\0WAVE", 12) + fmt + list);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_NE(openError(&openFfmpegFile, dir / "info.wav"), "opened");
    getrusage(RUSAGE_SELF, &after);
    const long grownKiB = after.ru_maxrss - before.ru_maxrss;
    EXPECT_LT(grownKiB, 512L * 1024) << "peak memory grew by " << grownKiB << " KiB";
}

TEST(FfmpegEncoderTest, AFailedEncodeLeavesNoFileAndReplacesNone) {
    TempDir dir;
    writeFile(dir / "taken.mp3", "precious");
    EXPECT_THROW(encodeAudioFile(dir / "taken.mp3", dualMono(1000), 44100, EncodedFormat::mp3), AudioIOError);
    EXPECT_EQ(fileText(dir / "taken.mp3"), "precious");
    // LAME codes at most two channels: refused before a file is made.
    EXPECT_THROW(encodeAudioFile(dir / "a.mp3", independentNoise(1000, 3), 44100, EncodedFormat::mp3), AudioIOError);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace twinfold::test
