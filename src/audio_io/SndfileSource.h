#pragma once

#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioFormat.h"
#include "audio_io/PosixFile.h"

#include <sndfile.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace twinfold::detail {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// A file libsndfile has opened for reading (or the reason it could not).
// libsndfile reads through its own copy of `fd`; `fd` stays for reads of
// our own (with pread, so libsndfile's file position is left alone).
struct SndfileSource {
    UniqueFd fd;
    SndfilePtr file;
    SF_INFO info{};
    std::string error;  // libsndfile's message when `file` is null

    explicit operator bool() const { return file != nullptr; }
};

// libsndfile reports a failed open through a process-wide error slot, so
// every open (read or write) holds this lock until it has taken the message.
std::mutex& sndfileOpenMutex();

// Lets libsndfile parse the header of an open file. Never throws for a file
// libsndfile rejects; the message is in `error`.
SndfileSource openSndfileSource(UniqueFd fd);

// MPEG audio that libsndfile can decode itself; FFmpeg reads it instead, as
// it trims encoder delay and padding.
bool isMpegAudio(const SF_INFO& info);

// How the file stores its samples, from libsndfile's format code.
AudioFormatInfo describeSndfileFormat(const SF_INFO& info);

// The reader over an opened source; throws AudioIOError for a rate or
// channel count that makes no sense.
std::unique_ptr<AudioFileReader> makeSndfileReader(SndfileSource source, const std::filesystem::path& path);

}  // namespace twinfold::detail
