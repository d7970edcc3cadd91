#pragma once

#include <filesystem>
#include <vector>

namespace twinfold::cli {

// Writes a small library of example files into `directory` (created when
// missing): one file of every kind the scanner tells apart, a split .L/.R
// pair, a 5.1 file with a duplicate and a silent channel, an MP3, an M4A and
// a broadcast WAV carrying bext, iXML and LIST chunks. Returns the files in
// the order written.
//
// Never overwrites: when one of its names is taken, nothing is written and
// std::runtime_error names the file. When writing fails, the files it had
// written are removed and the audio layer's or file system's error passes on.
std::vector<std::filesystem::path> writeDemoLibrary(const std::filesystem::path& directory);

}  // namespace twinfold::cli
