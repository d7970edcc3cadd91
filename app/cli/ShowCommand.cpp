// twinfold-cli show: the evidence behind each file's verdict.

#include "Commands.h"
#include "Terminal.h"
#include "analysis/AudioAnalyzerService.h"
#include "conversion/DifferenceWriter.h"
#include "presentation/EvidenceTexts.h"
#include "scanning/SplitStereoPairs.h"
#include "workflow/PathJson.h"
#include "workflow/ResultReport.h"
#include "records/SettingsService.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <cstdio>
#include <iostream>

namespace twinfold::cli {

namespace fs = std::filesystem;

namespace {

// Kick.L.wav → Kick.R.wav (the marker's case kept); empty for other names.
fs::path rightPartnerOf(const fs::path& file) {
    const std::string stem = file.stem().string();
    if (stem.size() < 3 || stem[stem.size() - 2] != '.') return {};
    const char marker = stem.back();
    if (marker != 'L' && marker != 'l') return {};
    return file.parent_path() /
           (stem.substr(0, stem.size() - 1) + (marker == 'L' ? "R" : "r") + file.extension().string());
}

// A left file with its right partner beside it is shown as the pair.
ScanResult analyse(AudioAnalyzerService& analyzer, const fs::path& file) {
    const fs::path partner = rightPartnerOf(file);
    std::error_code error;
    if (!partner.empty() && fs::is_regular_file(partner, error)) {
        const auto found = findSplitStereoPairs({file, partner});
        if (found.pairs.size() == 1) {
            try {
                return analyzer.analyzeSplitPair(found.pairs[0].left, found.pairs[0].right);
            } catch (const SplitStereoError&) {
                // Not a pair after all (a stereo side, other rates): the file alone.
            }
        }
    }
    return analyzer.analyzeFile(file);
}

std::string level(float dB) {
    if (std::isinf(dB)) return dB < 0 ? "-inf" : "inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(dB));
    return text;
}

std::string channelLine(const ScanResult& r, std::size_t index) {
    const ChannelEvidence& c = r.evidence.channels[index];
    std::string name;
    if (r.evidence.pair) {
        name = index == 0 ? "Left" : "Right";
    } else {
        name = "Channel " + std::to_string(index + 1);
        if (!c.trackName.empty()) name += " (" + c.trackName + ")";
    }
    char dc[32];
    std::snprintf(dc, sizeof dc, "%.6f", c.dcOffset);
    return name + ": peak " + level(c.peakdBFS) + " dBFS, RMS " + level(c.rmsdBFS) + " dBFS, DC " + dc +
           (c.isSilent ? ", silent" : "");
}

std::string pairLine(const PairEvidence& p) {
    char correlation[32];
    std::snprintf(correlation, sizeof correlation, "%.4f", p.correlation);
    std::string line = std::string("Correlation ") + correlation + ", largest |L-R| " + level(p.maxDifferencedBFS) +
                       " dBFS, largest |L+R| " + level(p.maxSumdBFS) + " dBFS, first differing frame " +
                       (p.firstDifferingFrame ? std::to_string(*p.firstDifferingFrame) : std::string("none"));
    if (p.panGaindB) line += ", pan gain " + level(*p.panGaindB) + " dB";
    return line;
}

void printText(const ScanResult& r) {
    std::string name = r.fileInfo.path.string();
    if (r.pairedFilePath) name += " + " + r.pairedFilePath->filename().string();
    std::cout << escapedText(name) << ": " << r.statusText() << '\n';
    for (const std::string& sentence : verdictSentences(r)) std::cout << "  " << escapedText(sentence) << '\n';
    for (std::size_t c = 0; c < r.evidence.channels.size(); ++c)
        std::cout << "  " << escapedText(channelLine(r, c)) << '\n';
    if (r.evidence.pair) std::cout << "  " << pairLine(*r.evidence.pair) << '\n';
}

QJsonObject resultObject(const ScanResult& r) {
    QJsonObject o;
    putPath(o, "path", r.fileInfo.path);
    if (r.pairedFilePath) putPath(o, "pairedPath", *r.pairedFilePath);
    o["statusText"] = QString::fromStdString(r.statusText());
    o["evidence"] = evidenceJson(r);
    QJsonArray sentences;
    for (const std::string& s : verdictSentences(r)) sentences.append(QString::fromStdString(s));
    o["sentences"] = sentences;
    return o;
}

}  // namespace

ExitCode runShow(const ShowCommand& command, SettingsService& stored) {
    AppSettings settings = command.defaults ? AppSettings{} : stored.current();
    if (command.thresholddBFS) settings.silenceThresholddBFS = *command.thresholddBFS;
    AudioAnalyzerService analyzer(std::pow(10.0f, settings.silenceThresholddBFS / 20.0f));
    QJsonArray results, errors;
    bool failed = false;
    for (const fs::path& file : command.paths) {
        try {
            const ScanResult result = analyse(analyzer, file);
            if (command.json)
                results.append(resultObject(result));
            else
                printText(result);
            if (command.difference) writeDifferenceWav(result, *command.difference);
        } catch (const std::exception& error) {
            failed = true;
            std::cerr << "twinfold-cli: " << escapedText(file.string() + ": " + error.what()) << '\n';
            QJsonObject e;
            putPath(e, "path", file);
            e["error"] = QString::fromStdString(error.what());
            errors.append(e);
        }
    }
    if (command.json) {
        const QJsonObject document{{"schemaVersion", 1}, {"results", results}, {"errors", errors}};
        std::cout << QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString() << std::flush;
    }
    return failed ? ExitCode::failed : ExitCode::success;
}

}  // namespace twinfold::cli
