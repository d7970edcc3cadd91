#include "support/SndfileChunks.h"

#include <sndfile.h>

#include <cstring>
#include <stdexcept>

namespace twinfold::test {

std::vector<std::vector<std::uint8_t>> sndfileChunks(const std::filesystem::path& path, const std::string& id) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error(path.string() + ": " + sf_strerror(nullptr));
    SF_CHUNK_INFO wanted{};
    std::memcpy(wanted.id, id.data(), 4);
    wanted.id_size = 4;
    std::vector<std::vector<std::uint8_t>> found;
    for (SF_CHUNK_ITERATOR* it = sf_get_chunk_iterator(file, &wanted); it; it = sf_next_chunk_iterator(it)) {
        SF_CHUNK_INFO chunk{};
        if (sf_get_chunk_size(it, &chunk) != SF_ERR_NO_ERROR) break;
        std::vector<std::uint8_t> data(chunk.datalen);
        chunk.data = data.data();
        if (sf_get_chunk_data(it, &chunk) != SF_ERR_NO_ERROR) break;
        found.push_back(data);
    }
    sf_close(file);
    return found;
}

}  // namespace twinfold::test
