#include "cache/ResultCodec.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace twinfold {

namespace {

// Fixed-width little-endian-as-stored values: the cache never leaves the
// machine that wrote it, so host byte order is enough.
class Writer {
public:
    template <typename T>
    void put(T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    void text(const std::string& s) {
        put(std::uint32_t(s.size()));
        bytes_ += s;
    }
    template <typename T, typename Put>
    void optional(const std::optional<T>& value, Put each) {
        put(bool(value));
        if (value) each(*value);
    }
    std::string take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

struct Malformed : std::runtime_error {
    Malformed() : std::runtime_error("malformed cache entry") {}
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    template <typename T>
    T get() {
        if constexpr (std::is_same_v<T, bool>) {
            const auto byte = get<std::uint8_t>();
            if (byte > 1) throw Malformed();
            return byte == 1;
        }
        T value;
        if (rest_.size() < sizeof value) throw Malformed();
        std::memcpy(&value, rest_.data(), sizeof value);
        rest_.remove_prefix(sizeof value);
        return value;
    }
    std::string text() {
        const auto n = get<std::uint32_t>();
        if (rest_.size() < n) throw Malformed();
        std::string s(rest_.substr(0, n));
        rest_.remove_prefix(n);
        return s;
    }
    template <typename T, typename Get>
    std::optional<T> optional(Get each) {
        if (!get<bool>()) return std::nullopt;
        return each();
    }
    // A count of records each at least `minimumSize` bytes long; a damaged
    // count cannot make the reader allocate more than the entry holds.
    std::uint32_t count(std::size_t minimumSize) {
        const auto n = get<std::uint32_t>();
        if (std::size_t(n) * minimumSize > rest_.size()) throw Malformed();
        return n;
    }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

void putIdentity(Writer& w, const FileIdentity& id) {
    w.put(id.device);
    w.put(id.inode);
    w.put(id.size);
    w.put(id.modifiedNanoseconds);
}

FileIdentity getIdentity(Reader& r) {
    FileIdentity id;
    id.device = r.get<std::uint64_t>();
    id.inode = r.get<std::uint64_t>();
    id.size = r.get<std::int64_t>();
    id.modifiedNanoseconds = r.get<std::int64_t>();
    return id;
}

void putInfo(Writer& w, const AudioFileInfo& info) {
    w.text(info.url.native());
    w.text(info.filename);
    w.text(info.fileExtension);
    w.put(info.fileSize);
    w.put(info.sampleRate);
    w.put(info.bitDepth);
    w.put(info.storedBits);
    w.put(info.isFloat);
    w.put(info.channelCount);
    w.put(info.duration);
    w.put(info.sourceFormatID);
    putIdentity(w, info.identity);
    putIdentity(w, info.pairedIdentity);
}

AudioFileInfo getInfo(Reader& r) {
    AudioFileInfo info;
    info.id = Uuid::random();
    info.url = r.text();
    info.filename = r.text();
    info.fileExtension = r.text();
    info.fileSize = r.get<std::int64_t>();
    info.sampleRate = r.get<double>();
    info.bitDepth = r.get<int>();
    info.storedBits = r.get<int>();
    info.isFloat = r.get<bool>();
    info.channelCount = r.get<int>();
    info.duration = r.get<double>();
    info.sourceFormatID = r.get<std::uint32_t>();
    info.identity = getIdentity(r);
    info.pairedIdentity = getIdentity(r);
    return info;
}

void putChannels(Writer& w, const MultichannelAnalysis& analysis) {
    w.put(std::uint32_t(analysis.channels.size()));
    for (const ChannelAnalysis& c : analysis.channels) {
        w.put(c.channelIndex);
        w.text(c.channelLabel);
        w.put(c.isSilent);
        w.put(c.peakdBFS);
        w.put(std::uint32_t(c.identicalToChannels.size()));
        for (int partner : c.identicalToChannels) w.put(partner);
    }
}

MultichannelAnalysis getChannels(Reader& r) {
    MultichannelAnalysis analysis;
    const auto n = r.count(sizeof(int) + sizeof(std::uint32_t));
    for (std::uint32_t i = 0; i < n; ++i) {
        ChannelAnalysis c;
        c.id = Uuid::random();
        c.channelIndex = r.get<int>();
        c.channelLabel = r.text();
        c.isSilent = r.get<bool>();
        c.peakdBFS = r.get<float>();
        const auto partners = r.count(sizeof(int));
        for (std::uint32_t p = 0; p < partners; ++p) c.identicalToChannels.push_back(r.get<int>());
        analysis.channels.push_back(std::move(c));
    }
    return analysis;
}

void putResult(Writer& w, const ScanResult& s) {
    putInfo(w, s.fileInfo);
    w.put(s.isDualMono);
    w.put(s.isPannedMono);
    w.optional(s.pannedMonoLouderChannel, [&](ChannelSelection c) { w.put(c); });
    w.optional(s.pannedMonoPanPercent, [&](int p) { w.put(p); });
    w.put(s.isPhaseInverted);
    w.put(s.silentChannel);
    w.put(s.analysisTime);
    w.put(s.silenceThresholdLinear);
    w.optional(s.pairedFileURL, [&](const std::filesystem::path& p) { w.text(p.native()); });
    w.optional(s.multichannelAnalysis, [&](const MultichannelAnalysis& m) { putChannels(w, m); });
    w.optional(s.panResidual, [&](const PanResidual& p) {
        w.put(p.relativedB);
        w.put(p.peak);
        w.put(p.peakMeasured);
    });
    w.optional(s.unreadableReason, [&](const std::string& t) { w.text(t); });
    w.optional(s.pairingNote, [&](const std::string& t) { w.text(t); });
}

template <typename Enum>
Enum getEnum(Reader& r, Enum last) {
    const auto value = r.get<Enum>();
    if (int(value) < 0 || int(value) > int(last)) throw Malformed();
    return value;
}

ScanResult getResult(Reader& r) {
    ScanResultFields f;
    f.fileInfo = getInfo(r);
    f.isDualMono = r.get<bool>();
    f.isPannedMono = r.get<bool>();
    f.pannedMonoLouderChannel =
        r.optional<ChannelSelection>([&] { return getEnum(r, ChannelSelection::right); });
    f.pannedMonoPanPercent = r.optional<int>([&] { return r.get<int>(); });
    f.isPhaseInverted = r.get<bool>();
    f.silentChannel = getEnum(r, SilentChannelStatus::both);
    f.analysisTime = r.get<double>();
    f.silenceThresholdLinear = r.get<float>();
    f.pairedFileURL = r.optional<std::filesystem::path>([&] { return std::filesystem::path(r.text()); });
    f.multichannelAnalysis = r.optional<MultichannelAnalysis>([&] { return getChannels(r); });
    f.panResidual = r.optional<PanResidual>([&] {
        PanResidual p;
        p.relativedB = r.get<float>();
        p.peak = r.get<float>();
        p.peakMeasured = r.get<bool>();
        return p;
    });
    f.unreadableReason = r.optional<std::string>([&] { return r.text(); });
    f.pairingNote = r.optional<std::string>([&] { return r.text(); });
    return ScanResult(std::move(f));  // fresh record identifier
}

}  // namespace

std::string encodeResults(const std::vector<ScanResult>& results) {
    Writer w;
    w.put(std::uint32_t(results.size()));
    for (const ScanResult& result : results) putResult(w, result);
    return w.take();
}

std::optional<std::vector<ScanResult>> decodeResults(std::string_view bytes) {
    try {
        Reader r(bytes);
        const auto n = r.count(64);
        std::vector<ScanResult> results;
        results.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) results.push_back(getResult(r));
        if (!r.atEnd() || results.empty()) return std::nullopt;
        return results;
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

}  // namespace twinfold
