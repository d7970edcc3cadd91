#pragma once

#include <QUrl>

#include <filesystem>
#include <functional>
#include <vector>

namespace twinfold {

// What the window asks of the desktop: open a web address in the default
// browser, and show files in the file manager.

void openExternalUrl(const QUrl& url);

// Called when neither a file manager nor anything else would show the files.
using NothingAnswered = std::function<void()>;

// Asks the desktop's file manager to show the files selected
// (org.freedesktop.FileManager1.ShowItems over the session bus); when no
// file manager answers, opens the folders that hold them instead, and when
// nothing opens those either, calls nothingAnswered (perhaps later, once the
// bus has answered).
void revealInFileManager(const std::vector<std::filesystem::path>& files, NothingAnswered nothingAnswered);

using FileRevealer = std::function<void(const std::vector<std::filesystem::path>&, NothingAnswered)>;

}  // namespace twinfold
