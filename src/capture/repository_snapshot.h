#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/json.h"
#include "platform/process_runner.h"

namespace quillmer {

// The code repository a capture was made against.
struct RepositorySnapshot {
    std::string rootPath;  // top level of the git work tree
    std::string gitSHA;    // full commit id of HEAD
    std::optional<std::string> branch;  // absent when HEAD is detached

    bool operator==(const RepositorySnapshot&) const = default;

    static RepositorySnapshot fromJSON(const Json& json);
    Json toJSON() const;

    // $QUILLMER_REPOSITORY_PATH when set, else the working directory. Never throws.
    static std::optional<RepositorySnapshot> current(ProcessRunner& runner);
    // Asks /usr/bin/git about `directory`; absent when git is missing or it is no work tree.
    static std::optional<RepositorySnapshot> at(const std::filesystem::path& directory, ProcessRunner& runner);
};

}  // namespace quillmer
