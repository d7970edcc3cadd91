#pragma once

#include "records/FourCC.h"

namespace twinfold {

// How a source stores its samples, as the records carry it.
constexpr FourCC kFormatLinearPCM = fourCC("lpcm");
constexpr FourCC kFormatMPEGLayer3 = fourCC(".mp3");
constexpr FourCC kFormatMPEG4AAC = fourCC("aac ");
constexpr FourCC kFormatAppleLossless = fourCC("alac");

}  // namespace twinfold
