#pragma once
// The corpus of real Paradox tables the reader is checked against. It is not
// part of the project: it lies in ../shared/paradox-corpus beside the source
// tree, or wherever the environment variable VELLOMAR_CORPUS says. Without
// it the tests that read it skip, saying so in one line; all others run.

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// The corpus folder, whether it exists or not.
std::string corpusFolder();
// corpusFolder() + "/" + relative.
std::string corpusPath(const std::string& relative);
bool haveCorpus();
// The line a test that needs the corpus skips with when there is none.
std::string corpusMissing();

}  // namespace testsupport

// First statement of a test, or of a fixture's SetUp, that reads the corpus.
#define VELLOMAR_NEEDS_CORPUS() \
    if (!::testsupport::haveCorpus()) GTEST_SKIP() << ::testsupport::corpusMissing()
