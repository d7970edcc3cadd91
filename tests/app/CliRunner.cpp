#include "CliRunner.h"

#include <QRegularExpression>
#include <QStringList>

namespace twinfold::test {

QProcessEnvironment Cli::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome_.path().string()));
    // The analysis cache too: never the user's own.
    env.insert("XDG_CACHE_HOME", QString::fromStdString((configHome_.path() / "cache").string()));
    env.insert("LC_ALL", "C");
    env.insert("LANG", "C");
    return env;
}

std::unique_ptr<QProcess> Cli::start(const std::vector<std::string>& arguments,
                                     const fs::path& workingDirectory) const {
    QStringList args;
    for (const std::string& a : arguments) args << QString::fromStdString(a);
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment());
    if (!workingDirectory.empty()) process->setWorkingDirectory(QString::fromStdString(workingDirectory.string()));
    process->start(TWINFOLD_CLI_PATH, args);
    process->closeWriteChannel();
    return process;
}

std::unique_ptr<QProcess> Cli::startConverting(const std::vector<std::string>& arguments) const {
    auto process = start(arguments);
    QByteArray out;
    while (!out.contains("Originals:") && process->waitForReadyRead(60000)) out += process->readAllStandardOutput();
    if (!out.contains("Originals:")) ADD_FAILURE() << "no plan: " << out.toStdString();
    return out.contains("Originals:") ? std::move(process) : nullptr;
}

CliRun Cli::run(const std::vector<std::string>& arguments, const fs::path& workingDirectory) const {
    // A child still running when `process` goes is killed and reaped by it.
    const std::unique_ptr<QProcess> process = start(arguments, workingDirectory);
    const bool finished = process->waitForFinished(300000) && process->exitStatus() == QProcess::NormalExit;
    EXPECT_TRUE(finished) << "twinfold-cli did not finish normally";
    return {finished ? process->exitCode() : -1, process->readAllStandardOutput().toStdString(),
            process->readAllStandardError().toStdString()};
}

CliRun Cli::runOnTerminal(const std::vector<std::string>& arguments, const std::function<void()>& atQuestion,
                          const std::string& answer) const {
    QString command = QString("'%1'").arg(TWINFOLD_CLI_PATH);
    for (const std::string& a : arguments) command += QString(" '%1'").arg(QString::fromStdString(a));
    QProcessEnvironment env = environment();
    env.insert("TERM", "dumb");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start("script", {"-qefc", command, "/dev/null"});
    QByteArray output;
    while (!output.contains("[y/N]") && process.waitForReadyRead(60000)) output += process.readAllStandardOutput();
    EXPECT_TRUE(output.contains("[y/N]")) << output.toStdString();
    atQuestion();
    process.write(QByteArray::fromStdString(answer + "\n"));
    const bool finished = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    output += process.readAllStandardOutput();
    return {finished ? process.exitCode() : -1, output.toStdString(), {}};
}

void Cli::writeDemo(const fs::path& dir) const {
    const CliRun r = run({"demo", dir.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

QJsonObject Cli::scanJson(const std::vector<std::string>& arguments, const fs::path& workingDirectory) const {
    std::vector<std::string> all{"scan", "--json"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const CliRun r = run(all, workingDirectory);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out;
    return document.object();
}

QJsonObject resultNamed(const QJsonObject& document, const std::string& filename) {
    for (const QJsonValue& r : document["results"].toArray())
        if (r["filename"].toString().toStdString() == filename) return r.toObject();
    ADD_FAILURE() << "no result named " << filename;
    return {};
}

std::vector<std::string> changedNames(const std::map<std::string, std::string>& a,
                                      const std::map<std::string, std::string>& b) {
    std::set<std::string> names;
    for (const auto* tree : {&a, &b})
        for (const auto& [name, bytes] : *tree)
            if (!a.contains(name) || !b.contains(name) || a.at(name) != b.at(name)) names.insert(name);
    return {names.begin(), names.end()};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    for (const QString& line : QString::fromStdString(text).split('\n')) out.push_back(line.toStdString());
    return out;
}

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    static const QRegularExpression separator(" {2,}");
    for (const QString& cell : QString::fromStdString(line).trimmed().split(separator))
        out.push_back(cell.toStdString());
    return out;
}

void writePanMix(const fs::path& file) {
    writePcm(file, {PcmContainer::wav, PcmEncoding::int24, 48000}, panOf440(PcmEncoding::int24, true));
}

}  // namespace twinfold::test
