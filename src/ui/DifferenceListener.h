#pragma once

#include <QObject>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QTemporaryDir;
class QWidget;

namespace twinfold {

struct ScanResult;

// "Listen to the Difference": writes L − R of a stereo result as a WAV in a
// folder of its own, which lasts until the program quits, and hands it to
// the desktop's player. What goes wrong is shown, naming the file.
class DifferenceListener : public QObject {
    Q_OBJECT
public:
    // Opens a file in the desktop's default application; false when nothing answered.
    using Opener = std::function<bool(const QUrl&)>;

    explicit DifferenceListener(QWidget* window);
    ~DifferenceListener() override;

    void setOpener(Opener opener) { open_ = std::move(opener); }

    // The WAV written (and handed to the player), or nothing after a problem.
    std::optional<std::filesystem::path> listen(const ScanResult& result);

private:
    std::optional<std::filesystem::path> freshPath(const ScanResult& result);

    QWidget* window_;
    std::unique_ptr<QTemporaryDir> folder_;
    Opener open_;
};

}  // namespace twinfold
