#include "analysis/TrackNames.h"

#include "audio_io/ChunkFile.h"
#include "records/FourCC.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace twinfold {

namespace {

// The text between <tag> and </tag> inside `within`, from `from` on; `end`
// is set past the closing tag. Attributes on the opening tag are allowed.
std::optional<std::string_view> element(std::string_view within, std::string_view tag, std::size_t from,
                                        std::size_t& end) {
    // Built by appending: GCC 12 warns (wrongly) about "<" + std::string.
    std::string open(1, '<');
    open.append(tag);
    for (std::size_t at = within.find(open, from); at != std::string_view::npos; at = within.find(open, at + 1)) {
        const std::size_t after = at + open.size();
        if (after >= within.size() ||
            (within[after] != '>' && !std::isspace(static_cast<unsigned char>(within[after]))))
            continue;  // a longer tag name with the same start
        const std::size_t contentStart = within.find('>', after);
        if (contentStart == std::string_view::npos) return std::nullopt;
        std::string close("</");
        close.append(tag).append(1, '>');
        const std::size_t contentEnd = within.find(close, contentStart + 1);
        if (contentEnd == std::string_view::npos) return std::nullopt;
        end = contentEnd + close.size();
        return within.substr(contentStart + 1, contentEnd - contentStart - 1);
    }
    return std::nullopt;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// The five predefined entities; anything else is left as written.
std::string unescaped(std::string_view text) {
    static constexpr std::pair<std::string_view, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : entities) {
            if (text.substr(i, entity.size()) == entity) {
                out += c, i += entity.size(), replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

}  // namespace

std::vector<std::string> trackNamesFromIxml(std::string_view xml, int channelCount) {
    std::vector<std::string> names(std::size_t(std::max(channelCount, 0)));
    std::size_t listEnd = 0;
    const auto list = element(xml, "TRACK_LIST", 0, listEnd);
    if (!list) return names;
    std::size_t next = 0;
    while (const auto track = element(*list, "TRACK", next, next)) {
        std::size_t ignored = 0;
        const auto index = element(*track, "CHANNEL_INDEX", 0, ignored);
        const auto name = element(*track, "NAME", 0, ignored);
        if (!index || !name) continue;
        const std::string_view digits = trimmed(*index);
        int channel = 0;
        const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), channel);
        // CHANNEL_INDEX counts from 1.
        if (parsed.ec != std::errc() || parsed.ptr != digits.data() + digits.size()) continue;
        if (channel < 1 || channel > channelCount) continue;
        names[std::size_t(channel - 1)] = unescaped(trimmed(*name));
    }
    return names;
}

std::vector<std::string> readTrackNames(const std::filesystem::path& path, int channelCount) {
    try {
        const auto file = ChunkFile::open(path, false);
        const FourCC id = fourCC("iXML");
        if (file->count(id) == 0) return std::vector<std::string>(std::size_t(std::max(channelCount, 0)));
        // A track list sits near the top of the document; a damaged size
        // must not make us read a whole file's worth.
        constexpr std::uint64_t largestRead = 4 << 20;
        std::string text(std::size_t(std::min(file->size(id, 0), largestRead)), '\0');
        file->readPart(id, 0, 0, text.data(), text.size());
        return trackNamesFromIxml(text, channelCount);
    } catch (const std::exception&) {
        return std::vector<std::string>(std::size_t(std::max(channelCount, 0)));
    }
}

}  // namespace twinfold
