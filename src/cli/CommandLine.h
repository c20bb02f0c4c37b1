#pragma once
// The command-line front end: `vellomar list` and `vellomar export`, run
// with no display and no spreadsheet program. Reads tables with the same
// reader and the same table discovery as the wizard, writes them with the
// same cells, and tells what did not arrive whole the same way.

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// Exit statuses.
inline constexpr int kWhole = 0;      // every table written whole
inline constexpr int kLosses = 1;     // written, but something did not arrive as it is
inline constexpr int kNothing = 2;    // bad arguments, or nothing written

// Runs the command the arguments (after the program's name) name, writing
// results to `out` and everything else (errors, summaries, progress) to
// `err`. Returns the exit status. Must not be asked to start the wizard.
int runCommandLine(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace cli
