#pragma once

#include "audio_io/AudioFileReader.h"
#include "audio_io/AudioFormat.h"
#include "audio_io/PosixFile.h"

#include <sndfile.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace twinfold::detail {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// What libsndfile reads a file through: the file's first bytes, read at
// once, and pread beyond them. libsndfile parses a header a few bytes at a
// time; served from memory, a header costs one read instead of dozens of
// system calls, which is much of a short file's analysis.
struct SndfileInput {
    int fd = -1;                      // not owned
    sf_count_t length = 0;            // the file's size when it was opened
    sf_count_t position = 0;          // where libsndfile reads next
    std::vector<unsigned char> head;  // the file's first bytes
    int readError = 0;                // errno of a read that failed, 0 if none
};

// A file libsndfile has opened for reading (or the reason it could not).
// libsndfile reads through `input`, which keeps its own position, or, for a
// file with a tag in front (no `input`), through its own copy of `fd`; `fd`
// stays for reads of our own (with pread).
struct SndfileSource {
    UniqueFd fd;
    std::unique_ptr<SndfileInput> input;  // declared before `file`: read until it is closed
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
