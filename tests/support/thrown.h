#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <optional>
#include <string>

namespace quillmer::testing {

// The error of type E that `run` throws; nothing, and a test failure, when it throws none.
template <typename E, typename Run>
std::optional<E> thrown(Run&& run) {
    try {
        run();
    } catch (const E& error) {
        return error;
    }
    ADD_FAILURE() << "no error was thrown";
    return std::nullopt;
}

// What the std::exception that `run` throws says; "(no failure)" when it throws none.
template <typename Run>
std::string failureText(Run&& run) {
    try {
        run();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no failure)";
}

}  // namespace quillmer::testing
