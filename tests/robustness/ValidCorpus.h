#pragma once

#include <filesystem>
#include <vector>

namespace twinfold::test {

// Short valid files of every kind the application reads, written into
// `dir`: WAV at 8, 16, 24 and 32 bits and float, RF64, AIFF and AIFF-C,
// files carrying bext, LIST and iXML (or MARK and ANNO) chunks, a
// six-channel WAV, MP3 and M4A. Stereo files are dual mono, so each one
// converts.
std::vector<std::filesystem::path> writeValidCorpus(const std::filesystem::path& dir, std::size_t frames);

}  // namespace twinfold::test
