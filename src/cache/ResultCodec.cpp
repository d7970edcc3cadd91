#include "cache/ResultCodec.h"

#include "cache/ByteCodec.h"

#include <algorithm>
#include <cstdint>

namespace twinfold {

namespace {

using codec::Malformed;
using codec::Reader;
using codec::Writer;

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
    w.text(info.path.native());
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
    info.path = r.text();
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

void putEvidence(Writer& w, const FileEvidence& e) {
    w.put(std::uint32_t(e.channels.size()));
    for (const ChannelEvidence& c : e.channels) {
        w.put(c.peakdBFS);
        w.put(c.rmsdBFS);
        w.put(c.dcOffset);
        w.put(c.isSilent);
        w.text(c.trackName);
    }
    w.optional(e.pair, [&](const PairEvidence& p) {
        w.put(p.correlation);
        w.put(p.maxDifferencedBFS);
        w.optional(p.firstDifferingFrame, [&](std::int64_t f) { w.put(f); });
        w.put(p.maxSumdBFS);
        w.optional(p.panGaindB, [&](float g) { w.put(g); });
    });
}

FileEvidence getEvidence(Reader& r) {
    FileEvidence e;
    const auto n = r.count(2 * sizeof(float) + sizeof(double) + 1 + sizeof(std::uint32_t));
    for (std::uint32_t i = 0; i < n; ++i) {
        ChannelEvidence c;
        c.peakdBFS = r.get<float>();
        c.rmsdBFS = r.get<float>();
        c.dcOffset = r.get<double>();
        c.isSilent = r.get<bool>();
        c.trackName = r.text();
        e.channels.push_back(std::move(c));
    }
    e.pair = r.optional<PairEvidence>([&] {
        PairEvidence p;
        p.correlation = r.get<double>();
        p.maxDifferencedBFS = r.get<float>();
        p.firstDifferingFrame = r.optional<std::int64_t>([&] { return r.get<std::int64_t>(); });
        p.maxSumdBFS = r.get<float>();
        p.panGaindB = r.optional<float>([&] { return r.get<float>(); });
        return p;
    });
    return e;
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
    w.optional(s.pairedFilePath, [&](const std::filesystem::path& p) { w.text(p.native()); });
    w.optional(s.multichannelAnalysis, [&](const MultichannelAnalysis& m) { putChannels(w, m); });
    w.optional(s.panResidual, [&](const PanResidual& p) {
        w.put(p.relativedB);
        w.put(p.peak);
        w.put(p.peakMeasured);
    });
    w.optional(s.unreadableReason, [&](const std::string& t) { w.text(t); });
    w.optional(s.pairingNote, [&](const std::string& t) { w.text(t); });
    putEvidence(w, s.evidence);
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
    f.pannedMonoLouderChannel = r.optional<ChannelSelection>([&] { return getEnum(r, ChannelSelection::right); });
    f.pannedMonoPanPercent = r.optional<int>([&] { return r.get<int>(); });
    f.isPhaseInverted = r.get<bool>();
    f.silentChannel = getEnum(r, SilentChannelStatus::both);
    f.analysisTime = r.get<double>();
    f.silenceThresholdLinear = r.get<float>();
    f.pairedFilePath = r.optional<std::filesystem::path>([&] { return std::filesystem::path(r.text()); });
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
    f.evidence = getEvidence(r);
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

namespace {

// A goniometer of a mono-like file fills a line of its cells and leaves the
// rest at zero: its filled cells, with their places, take a fraction of the
// whole table. Whichever form is smaller is stored, marked by a byte.
void putDensity(codec::Writer& w, const std::vector<std::uint32_t>& cells) {
    const auto filled = std::size_t(std::count_if(cells.begin(), cells.end(), [](auto c) { return c != 0; }));
    const bool sparse = cells.size() <= 0xFFFF && filled * 6 < cells.size() * 4;
    w.put(std::uint8_t(sparse));
    if (!sparse) return w.array(cells);
    w.put(std::uint32_t(cells.size()));
    w.put(std::uint32_t(filled));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i] == 0) continue;
        w.put(std::uint16_t(i));
        w.put(cells[i]);
    }
}

std::vector<std::uint32_t> getDensity(codec::Reader& r) {
    const auto form = r.get<std::uint8_t>();
    if (form == 0) return r.array<std::uint32_t>();
    if (form != 1) throw codec::Malformed();
    const auto size = r.get<std::uint32_t>();
    if (size > 0xFFFF) throw codec::Malformed();
    std::vector<std::uint32_t> cells(size, 0);
    const auto filled = r.count(sizeof(std::uint16_t) + sizeof(std::uint32_t));
    for (std::uint32_t i = 0; i < filled; ++i) {
        const auto at = r.get<std::uint16_t>();
        if (at >= size) throw codec::Malformed();
        cells[at] = r.get<std::uint32_t>();
    }
    return cells;
}

}  // namespace

std::string encodePictures(const std::vector<EvidencePictures>& pictures) {
    Writer w;
    w.put(std::uint32_t(pictures.size()));
    for (const EvidencePictures& p : pictures) {
        putDensity(w, p.goniometer);
        w.put(std::uint32_t(p.overviews.size()));
        for (const ChannelOverview& o : p.overviews) {
            w.array(o.minima);
            w.array(o.maxima);
        }
    }
    return w.take();
}

std::optional<std::vector<EvidencePictures>> decodePictures(std::string_view bytes) {
    try {
        Reader r(bytes);
        const auto n = r.count(2 * sizeof(std::uint32_t));
        std::vector<EvidencePictures> pictures(n);
        for (EvidencePictures& p : pictures) {
            p.goniometer = getDensity(r);
            p.overviews.resize(r.count(2 * sizeof(std::uint32_t)));
            for (ChannelOverview& o : p.overviews) {
                o.minima = r.array<float>();
                o.maxima = r.array<float>();
            }
        }
        if (!r.atEnd()) return std::nullopt;
        return pictures;
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

}  // namespace twinfold
