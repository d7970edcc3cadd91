// The help texts of twinfold-cli.

#include "CommandLine.h"

namespace twinfold::cli {

namespace {

const char* const programHelp =
    "Usage: twinfold-cli COMMAND [OPTIONS] ...\n"
    "       twinfold-cli help COMMAND | --help | --version\n"
    "\n"
    "Finds audio files whose channels carry redundant content and converts them\n"
    "to true mono, bit-exact, without a window.\n"
    "\n"
    "Commands:\n"
    "  scan PATH...            list what each audio file holds and what converting would save\n"
    "  convert PATH...         convert every convertible file to mono\n"
    "  restore BACKUP_FOLDER   put the originals of a \"Twinfold Backup\" folder back\n"
    "  show FILE...            explain each file's verdict: levels, how its channels\n"
    "                          relate, and why it is (or is not) redundant\n"
    "  demo DIR                write a small library of example files into DIR\n"
    "\n"
    "PATHs are audio files or folders, handled as if dropped onto the window.\n"
    "scan and convert use the window's stored settings unless --defaults is given.\n"
    "Results go to standard output, errors and progress to standard error.\n"
    "Run 'twinfold-cli help COMMAND' for the options of a command.\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help\n"
    "  -v, --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0    success (also a dry run, and nothing to convert)\n"
    "  1    failure: a scan, conversion, restore or demo could not be done\n"
    "  2    usage error: the command line could not be understood\n"
    "  3    conversion not confirmed (declined, or no terminal and no --yes)\n"
    "  4    converted (or restored), but some originals were not handled as\n"
    "       asked, or a restore left something in place; each is named on stderr\n"
    "  129  stopped by SIGHUP (the terminal closed)\n"
    "  130  cancelled with Ctrl-C (SIGINT)\n"
    "  143  stopped by SIGTERM\n"
    "A conversion stopped by a signal keeps the files finished so far and\n"
    "touches no original.\n";

const char* const scanHelp =
    "Usage: twinfold-cli scan [OPTIONS] PATH...\n"
    "\n"
    "Scans audio files and folders (recursively) and prints one row per file or\n"
    "split .L/.R pair, then the summary figures. Files that cannot be read are\n"
    "named on standard error.\n"
    "\n"
    "Options:\n"
    "  --json             print one JSON document (schemaVersion 1) with \"results\",\n"
    "                     \"errors\" and \"summary\"; display texts such as\n"
    "                     \"statusText\" have a stable identifier beside them\n"
    "                     (\"status\"); a path that is not valid UTF-8 also has\n"
    "                     \"pathBytes\", the base64 of its bytes; each result has\n"
    "                     its \"evidence\" (levels, how the channels relate)\n"
    "  --jsonl            print one JSON object a line (schemaVersion 1), each file\n"
    "                     as soon as it is analysed, in the order they finish; a\n"
    "                     file that cannot be read is {\"path\", \"error\"}\n"
    "  --files-from FILE  also scan the paths listed in FILE, one a line ('-':\n"
    "                     standard input)\n"
    "  --jobs N           analyse N files at once (default: one per core)\n"
    "  --no-cache         analyse every file again; do not use or fill the cache\n"
    "  --exclude GLOB     leave out files whose name, or path relative to the named\n"
    "                     folder, matches GLOB (repeatable; '*' also matches '/')\n"
    "  --threshold DBFS   silence threshold for this run\n"
    "  --defaults         ignore the stored settings; use the built-in ones\n"
    "  -h, --help         show this help\n";

const char* const convertHelp =
    "Usage: twinfold-cli convert [OPTIONS] PATH...\n"
    "\n"
    "Scans like 'scan', selects every convertible file, prints the plan, asks for\n"
    "confirmation and converts. Mono files are written beside their sources; the\n"
    "originals are then handled as the settings (or --originals) say. Options\n"
    "apply to this run only; the stored settings are never changed. The plan\n"
    "says where each setting came from: option, stored or default. --files-from,\n"
    "--jobs and --no-cache work as for 'scan'.\n"
    "\n"
    "Files inside a \"Twinfold Backup\" folder are left alone unless that folder\n"
    "(or a file in it) is named as a PATH. A panned-mono file whose quieter side\n"
    "carries content of its own (\"differs by N dB\") is left alone unless\n"
    "--include-differing is given: converting it would discard that content.\n"
    "\n"
    "Options:\n"
    "  --yes                  convert without asking (required when not on a terminal)\n"
    "  --dry-run              print the plan and exit 0; nothing is written\n"
    "  --json                 print the plan and the outcome (outputs written,\n"
    "                         what became of each original, problems) as one\n"
    "                         JSON document (schemaVersion 1) instead of text\n"
    "  --log FILE             append a plain-text record of the conversion to FILE\n"
    "  --exclude GLOB         leave out matching files, as for 'scan' (repeatable)\n"
    "  --defaults             ignore the stored settings; use the built-in ones\n"
    "  --[no-]skip-existing   convert the other files when some outputs cannot be\n"
    "                         written (a name taken or too long, two sources to one\n"
    "                         name); without it such a plan converts nothing\n"
    "  --[no-]include-differing\n"
    "                         also convert panned-mono files that differ from a pan\n"
    "  --suffix S             name suffix of the outputs (default: _mono)\n"
    "  --[no-]pan-in-name     add the pan position (_69L) to panned-mono outputs\n"
    "  --[no-]track-names     name the mono files of a split multichannel file by\n"
    "                         the recorder's track names (iXML) when every channel\n"
    "                         has its own name fit for a file name\n"
    "  --normalize DBFS       peak-normalise the outputs to DBFS (at most 0)\n"
    "  --no-normalize         do not normalise\n"
    "  --originals backup|delete|keep\n"
    "                         move the originals into a \"Twinfold Backup\" folder\n"
    "                         (undo with 'restore'), delete them, or leave them\n"
    "  --phase left|right|split\n"
    "                         phase-inverted files: keep the left or the right\n"
    "                         channel, or write both as two mono files (default: left)\n"
    "  --multichannel split|remove\n"
    "                         multichannel files: one mono file per channel, or one\n"
    "                         file without the silent and duplicate channels\n"
    "                         (default: split)\n"
    "  --threshold DBFS       silence threshold for the scan (default: -96)\n"
    "  -h, --help             show this help\n"
    "\n"
    "Exit status 4: the files were converted, but some originals could not be\n"
    "moved or deleted as asked; each is named on stderr.\n";

const char* const restoreHelp =
    "Usage: twinfold-cli restore [--remove-outputs] BACKUP_FOLDER\n"
    "\n"
    "Moves every original recorded in the backup folder's manifest\n"
    "(twinfold-manifest.jsonl) back to where it came from, below the folder that\n"
    "holds the backup folder. A file is never replaced: an original whose place\n"
    "is taken stays in the backup folder and is named on stderr (exit status 4).\n"
    "When every original is back, the emptied backup folder is removed.\n"
    "\n"
    "Options:\n"
    "  --[no-]remove-outputs  also delete the mono files written from the restored\n"
    "                         originals, if they are unchanged (same SHA-256 as\n"
    "                         recorded); a changed one is kept and named on stderr\n"
    "  -h, --help             show this help\n";

const char* const showHelp =
    "Usage: twinfold-cli show [OPTIONS] FILE...\n"
    "\n"
    "Analyses each audio file (or split .L/.R pair, named by its left file) and\n"
    "prints the evidence behind its verdict: the verdict in plain sentences, each\n"
    "channel's peak, RMS and DC offset, and for two channels their correlation,\n"
    "the largest difference and sum, the first frame at which they differ and\n"
    "the pan gain. Uses the silence threshold of the stored settings.\n"
    "\n"
    "Options:\n"
    "  --json              print one JSON document (schemaVersion 1) with a\n"
    "                      \"results\" array, each with its \"evidence\" and\n"
    "                      \"sentences\"\n"
    "  --difference FILE   write what a conversion would leave out of the (single)\n"
    "                      FILE as a 32-bit float WAV: the quieter side minus the\n"
    "                      scaled louder side for a panned file, left + right for a\n"
    "                      phase-inverted file, the silent side of a file with one,\n"
    "                      left - right otherwise; never replaces an existing file\n"
    "  --threshold DBFS    silence threshold for this run\n"
    "  --defaults          ignore the stored settings; use the built-in ones\n"
    "  -h, --help          show this help\n";

const char* const demoHelp =
    "Usage: twinfold-cli demo DIR\n"
    "\n"
    "Writes a small library of example files into DIR (created if missing): one\n"
    "file of every kind Twinfold recognises, a split .L/.R pair, a 5.1 file with a\n"
    "duplicate and a silent channel, an MP3, an M4A and a broadcast WAV with\n"
    "metadata. Existing files are never overwritten.\n"
    "\n"
    "Options:\n"
    "  -h, --help   show this help\n";

}  // namespace

std::string helpText(const std::string& command) {
    if (command == "scan") return scanHelp;
    if (command == "convert") return convertHelp;
    if (command == "show") return showHelp;
    if (command == "restore") return restoreHelp;
    if (command == "demo") return demoHelp;
    return programHelp;
}

}  // namespace twinfold::cli
