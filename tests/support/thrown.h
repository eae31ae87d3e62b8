#pragma once

#include <gtest/gtest.h>

#include <optional>

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

}  // namespace quillmer::testing
