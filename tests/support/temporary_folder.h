#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quillmer::testing {

// A fresh folder under the system temporary directory, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets (or with nullopt unsets) an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Points $XDG_DATA_HOME and $XDG_CONFIG_HOME at a private temporary folder, so a test never
// touches the user's Quillmer library or settings.
class ScopedDataHome {
public:
    ScopedDataHome();
    const std::filesystem::path& path() const { return folder_.path(); }

private:
    TemporaryFolder folder_;
    ScopedEnvironment data_;
    ScopedEnvironment config_;
};

// Writes bytes to a file (creating parent folders); for arranging test input.
void writeTestFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace quillmer::testing
