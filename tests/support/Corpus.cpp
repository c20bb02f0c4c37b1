#include "support/Corpus.h"

#include <cstdlib>
#include <filesystem>

namespace testsupport {

std::string corpusFolder() {
    const char* chosen = std::getenv("VELLOMAR_CORPUS");
    return chosen && *chosen ? std::string(chosen) : std::string(VELLOMAR_DEFAULT_CORPUS);
}

std::string corpusPath(const std::string& relative) { return corpusFolder() + "/" + relative; }

bool haveCorpus() { return std::filesystem::is_directory(corpusFolder()); }

std::string corpusMissing() {
    return "needs the Paradox table corpus: no folder " + corpusFolder() +
           " (set VELLOMAR_CORPUS to the folder of paradox-corpus)";
}

}  // namespace testsupport
