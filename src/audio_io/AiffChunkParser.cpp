#include "audio_io/AudioIOError.h"
#include "audio_io/ChunkParser.h"
#include "audio_io/ChunkWalker.h"

namespace twinfold {

ChunkLayout parseAiffLayout(const ByteSource& source) {
    std::uint8_t header[12];
    source.readAt(0, header, sizeof header);
    const std::uint32_t formType = loadBE32(header + 8);
    ChunkWalkRules rules;
    rules.bigEndian = true;
    rules.audioId = chunkId("SSND");
    ChunkContainer container;
    if (formType == chunkId("AIFF")) {
        container = ChunkContainer::aiff;
        rules.formName = "AIFF";
    } else if (formType == chunkId("AIFC")) {
        container = ChunkContainer::aifc;
        rules.formName = "AIFF-C";
    } else {
        throw AudioIOError("Unknown FORM type '" + chunkIdText(formType) + "': not an AIFF or AIFF-C file");
    }
    ChunkLayout layout = walkChunks(source, rules, 8 + std::uint64_t(loadBE32(header + 4)));
    layout.container = container;
    layout.sizeFieldOffset = 4;
    // sampleSize sits after numChannels (2 bytes) and numSampleFrames (4) in
    // 'COMM', in AIFF and AIFF-C alike.
    layout.bitsPerChannel = read16InFirstChunk(source, layout, chunkId("COMM"), 6, true);
    return layout;
}

}  // namespace twinfold
