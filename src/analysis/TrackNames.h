#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace twinfold {

// The recorder's name for each channel from the iXML TRACK_LIST of a
// RIFF/WAVE or RF64 file: one entry per channel, empty where no track names
// it. All empty when the file has no iXML chunk or it cannot be read; never
// throws for a damaged document.
std::vector<std::string> readTrackNames(const std::filesystem::path& path, int channelCount);

// The same from the document's text.
std::vector<std::string> trackNamesFromIxml(std::string_view xml, int channelCount);

}  // namespace twinfold
