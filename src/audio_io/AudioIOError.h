#pragma once

#include <stdexcept>
#include <string>

namespace twinfold {

// A failure of the audio libraries or the file system, carrying the
// library's own message unchanged.
class AudioIOError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace twinfold
