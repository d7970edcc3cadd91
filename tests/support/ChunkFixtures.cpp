#include "support/ChunkFixtures.h"

#include <algorithm>
#include <bit>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace twinfold::test {

namespace {

// Appends integers in the file's byte order, ids and text as they are.
class Bytes {
public:
    explicit Bytes(bool bigEndian = false) : bigEndian_(bigEndian) {}

    Bytes& u8(std::uint8_t v) { return uint(v, 1); }
    Bytes& u16(std::uint16_t v) { return uint(v, 2); }
    Bytes& u32(std::uint32_t v) { return uint(v, 4); }
    Bytes& u64(std::uint64_t v) { return uint(v, 8); }
    Bytes& id(const std::string& code) { return text(code); }
    Bytes& text(const std::string& s) {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    // Text in a field of fixed width, zero-filled.
    Bytes& field(const std::string& s, std::size_t width) {
        text(s.substr(0, width));
        data.resize(data.size() + width - std::min(s.size(), width), 0);
        return *this;
    }
    Bytes& chunk(const FixtureChunk& c) {
        id(c.id).u32(std::uint32_t(c.data.size()));
        data.insert(data.end(), c.data.begin(), c.data.end());
        if (c.data.size() % 2) u8(0);
        return *this;
    }
    // 80-bit IEEE extended, as AIFF stores its sample rate.
    Bytes& extended(std::uint32_t rate) {
        const int exponent = std::bit_width(rate) - 1;
        return u16(std::uint16_t(16383 + exponent)).u64(std::uint64_t(rate) << (63 - exponent));
    }

    Bytes& uint(std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i) data.push_back(std::uint8_t(v >> (8 * (bigEndian_ ? width - 1 - i : i))));
        return *this;
    }

    std::vector<std::uint8_t> data;

private:
    bool bigEndian_;
};

std::uint64_t framedSize(const std::vector<FixtureChunk>& chunks) {
    std::uint64_t total = 0;
    for (const FixtureChunk& c : chunks) total += 8 + c.data.size() + c.data.size() % 2;
    return total;
}

bool isAiff(const ChunkFixture& f) {
    return f.container == ChunkFixtureContainer::aiff || f.container == ChunkFixtureContainer::aifc;
}

// Everything up to the audio chunk's contents, with sizes for `frames`
// frames of `audioBytes` bytes.
Bytes head(const ChunkFixture& f, std::uint64_t frames, std::uint64_t audioBytes) {
    const std::uint64_t rest = framedSize(f.before) + audioBytes + audioBytes % 2 + framedSize(f.after);
    if (isAiff(f)) {
        const bool aifc = f.container == ChunkFixtureContainer::aifc;
        const std::string compressionName = "not compressed";  // with its count byte: 15 bytes, padded to 16
        const std::uint32_t commSize = aifc ? 18 + 4 + 16 : 18;
        Bytes b(true);
        b.id("FORM").u32(std::uint32_t(4 + (aifc ? 12 : 0) + 8 + commSize + 16 + rest)).id(aifc ? "AIFC" : "AIFF");
        if (aifc) b.id("FVER").u32(4).u32(0xA2805140);
        b.id("COMM").u32(commSize).u16(std::uint16_t(f.channels)).u32(std::uint32_t(frames));
        b.u16(std::uint16_t(f.bitsPerSample)).extended(std::uint32_t(f.sampleRate));
        if (aifc) b.id("NONE").u8(std::uint8_t(compressionName.size())).text(compressionName).u8(0);
        for (const FixtureChunk& c : f.before) b.chunk(c);
        b.id("SSND").u32(std::uint32_t(8 + audioBytes)).u32(0).u32(0);
        return b;
    }
    const bool rf64 = f.container == ChunkFixtureContainer::rf64;
    const std::uint16_t blockAlign = std::uint16_t(f.channels * f.bitsPerSample / 8);
    const std::uint64_t riffSize = 4 + (rf64 ? 36 : 0) + 24 + 8 + rest;
    Bytes b;
    b.id(rf64 ? "RF64" : "RIFF").u32(rf64 ? 0xFFFFFFFF : std::uint32_t(riffSize)).id("WAVE");
    if (rf64) b.id("ds64").u32(28).u64(riffSize).u64(audioBytes).u64(frames).u32(0);
    b.id("fmt ").u32(16).u16(1).u16(std::uint16_t(f.channels)).u32(std::uint32_t(f.sampleRate));
    b.u32(std::uint32_t(f.sampleRate) * blockAlign).u16(blockAlign).u16(std::uint16_t(f.bitsPerSample));
    for (const FixtureChunk& c : f.before) b.chunk(c);
    b.id("data").u32(rf64 ? 0xFFFFFFFF : std::uint32_t(audioBytes));
    return b;
}

void write(std::ofstream& out, const std::vector<std::uint8_t>& bytes) {
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

void writeChunkFixture(const std::filesystem::path& path, const ChunkFixture& f) {
    const auto width = std::uint64_t(f.bitsPerSample / 8);
    const std::uint64_t frames =
        f.samples.empty() ? std::uint64_t(f.silentFrames) : f.samples.size() / std::uint64_t(f.channels);
    const std::uint64_t audioBytes = frames * std::uint64_t(f.channels) * width;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    write(out, head(f, frames, audioBytes).data);
    Bytes samples(isAiff(f));
    for (std::int32_t s : f.samples) samples.uint(std::uint32_t(s), int(width));
    write(out, samples.data);
    // Silence in blocks, so long silent files cost no memory.
    const std::vector<char> zeros(1 << 16, 0);
    for (std::uint64_t left = f.samples.empty() ? audioBytes : 0; left > 0;) {
        const auto n = std::min<std::uint64_t>(left, zeros.size());
        out.write(zeros.data(), std::streamsize(n));
        left -= n;
    }
    Bytes tail(isAiff(f));
    if (audioBytes % 2) tail.u8(0);
    for (const FixtureChunk& c : f.after) tail.chunk(c);
    write(out, tail.data);
    out.close();
    if (!out) throw std::runtime_error("cannot write fixture " + path.string());
}

FixtureChunk bextChunk(const std::string& description, std::uint64_t timeReference, const std::string& codingHistory) {
    Bytes b;
    b.field(description, 256).field("Twinfold test recorder", 32).field("TWF0000000001", 32);
    b.field("2024-05-17", 10).field("14:03:59", 8).u64(timeReference).u16(2);
    for (int i = 0; i < 64; ++i) b.u8(std::uint8_t(i * 7 + 1));  // a made-up UMID
    b.u16(std::uint16_t(-2300)).u16(700).u16(std::uint16_t(-100)).u16(std::uint16_t(-1800)).u16(std::uint16_t(-2000));
    b.field("", 180).text(codingHistory);
    return {"bext", b.data};
}

FixtureChunk ixmlChunk(const std::string& xml) {
    const std::string text =
        !xml.empty() ? xml
                     : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BWFXML><IXML_VERSION>2.10</IXML_VERSION>"
                       "<PROJECT>Harbour Night</PROJECT><SCENE>12</SCENE><TAKE>3</TAKE><TAPE>D001</TAPE>"
                       "<NOTE>boom on track 1</NOTE><SPEED><TIMECODE_RATE>25/1</TIMECODE_RATE></SPEED></BWFXML>\n";
    return {"iXML", std::vector<std::uint8_t>(text.begin(), text.end())};
}

FixtureChunk listInfoChunk(const std::vector<std::pair<std::string, std::string>>& entries) {
    Bytes b;
    b.id("INFO");
    for (const auto& [id, value] : entries) b.chunk({id, Bytes().text(value).u8(0).data});
    return {"LIST", b.data};
}

FixtureChunk markChunk(const std::vector<AiffMarker>& markers) {
    Bytes b(true);
    b.u16(std::uint16_t(markers.size()));
    for (const AiffMarker& m : markers) {
        b.u16(m.id).u32(m.position).u8(std::uint8_t(m.name.size())).text(m.name);
        if (m.name.size() % 2 == 0) b.u8(0);  // count byte + text padded to even
    }
    return {"MARK", b.data};
}

FixtureChunk annoChunk(const std::string& text) {
    return {"ANNO", std::vector<std::uint8_t>(text.begin(), text.end())};
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void overwriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void putLE32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
}

void putBE32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = std::uint8_t(value >> (24 - 8 * i));
}

std::size_t findId(const std::vector<std::uint8_t>& bytes, const char* id) {
    const auto at = std::search(bytes.begin(), bytes.end(), id, id + 4);
    if (at == bytes.end()) throw std::runtime_error(std::string("no '") + id + "' in the file");
    return std::size_t(at - bytes.begin());
}

}  // namespace twinfold::test
