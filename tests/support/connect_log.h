#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "core/atomic_file.h"

namespace quillmer::testing {

// Checks the log quillmer_connect_recorder wrote: every connect() went to this computer (loopback
// or a Unix socket), and at least `runs` runs of the tool were recorded at all.
inline void expectOnlyLoopbackConnections(const std::filesystem::path& log, int runs) {
    std::istringstream lines(readWholeFile(log));
    int loaded = 0;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(line == "loaded" || line == "unix" || line.starts_with("inet 127.") || line == "inet6 ::1") << line;
        loaded += line == "loaded";
    }
    EXPECT_GE(loaded, runs);
}

}  // namespace quillmer::testing
