#pragma once

#include "presentation/PresentationTexts.h"

#include <QString>

#include <string_view>

namespace twinfold {

// The words the engine hands the window (a file's status, the conversion
// choices, what happens to originals), in the user's language. The engine
// has no Qt, so its texts are looked up here, under one context, by their
// English form; texts built with numbers in them pass through unchanged.
QString recordText(std::string_view english);
// A text shared with the command line: its pattern in the user's language,
// then its figures in place.
QString recordText(const presentation::Text& text);

}  // namespace twinfold
