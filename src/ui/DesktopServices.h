#pragma once

#include <QUrl>

#include <filesystem>
#include <functional>
#include <vector>

namespace twinfold {

// What the window asks of the desktop: open a web address in the default
// browser, and show files in the file manager.

void openExternalUrl(const QUrl& url);

// Asks the desktop's file manager to show the files selected
// (org.freedesktop.FileManager1.ShowItems over the session bus); when no
// file manager answers, opens the folders that hold them instead.
void revealInFileManager(const std::vector<std::filesystem::path>& files);

using FileRevealer = std::function<void(const std::vector<std::filesystem::path>&)>;

}  // namespace twinfold
