// make_samples <output folder>: writes the sample tables the program ships with.

#include "SampleTables.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_samples <output folder>\n";
        return 2;
    }
    try {
        for (const auto& table : samples::writeSampleTables(argv[1]))
            std::cout << table.file.string() << ": " << table.rows << " rows\n";
    } catch (const std::exception& error) {
        std::cerr << "make_samples: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
