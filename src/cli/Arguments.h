#pragma once
// The command line: which door into the program the arguments open, and the
// options of the command-line exports. No Qt.
//
//   vellomar                                  the wizard
//   vellomar --help | --version
//   vellomar list [--json] FOLDER
//   vellomar export [options] FOLDER|TABLE.db...

#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// Arguments that make no command: the message says what is wrong; the
// caller adds the usage.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Command { Wizard, Help, Version, List, Export };
enum class Format { FromOutput, Xlsx, Csv, Sqlite };
enum class Progress { WhenTerminal, Never, Always };

struct Arguments {
    Command command = Command::Wizard;
    // list: --json.
    bool json = false;
    // list: the one folder; export: folders and table files, in order.
    std::vector<std::string> inputs;
    // export: --table NAME (each once or more), as the list names tables.
    std::vector<std::string> tables;
    // export: --fields A,B,... in that order; empty = every field.
    std::vector<std::string> fields;
    // export: -o / --output, a workbook file or a folder ("" = the current folder).
    std::string output;
    Format format = Format::FromOutput;
    // export: --bom, a UTF-8 byte order mark first in a CSV file.
    bool byteOrderMark = false;
    // export: --replace, an existing database is replaced.
    bool replace = false;
    // export: --code-page N, 0 = what each table says, driver::OpenOptions::kFollowText for auto.
    int codePage = 0;
    // export: --blobs DIR, where each blob value is also written as a file ("" = none).
    std::string blobs;
    Progress progress = Progress::WhenTerminal;
};

// Reads the arguments after the program's name. Throws UsageError.
Arguments parseArguments(const std::vector<std::string>& args);

// The text --help prints.
std::string usage();

}  // namespace cli
