#include "capture/repository_snapshot.h"

#include <cstdlib>
#include <initializer_list>

#include "core/utf8.h"

namespace quillmer {

namespace {

std::string trimmed(const std::string& text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
    size_t begin = 0, end = text.size();
    while (begin < end && isSpace(text[begin])) ++begin;
    while (end > begin && isSpace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// One git question: a value only for a zero exit with non-empty UTF-8 output.
std::optional<std::string> askGit(ProcessRunner& runner, const std::filesystem::path& directory,
                                  std::initializer_list<const char*> command) {
    ProcessRequest request;
    request.executable = "/usr/bin/git";
    request.arguments = {"-C", directory.string()};
    for (const char* argument : command) request.arguments.emplace_back(argument);
    const ProcessResult result = runner.run(request);
    if (!result.succeeded() || !isValidUTF8(result.standardOutput)) return std::nullopt;
    std::string value = trimmed(result.standardOutput);
    if (value.empty()) return std::nullopt;
    return value;
}

}  // namespace

RepositorySnapshot RepositorySnapshot::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "RepositorySnapshot");
    return {reader.required<std::string>("rootPath"), reader.required<std::string>("gitSHA"),
            reader.optional<std::string>("branch")};
}

Json RepositorySnapshot::toJSON() const {
    Json json = Json::object();
    putJSON(json, "rootPath", rootPath);
    putJSON(json, "gitSHA", gitSHA);
    putJSON(json, "branch", branch);
    return json;
}

std::optional<RepositorySnapshot> RepositorySnapshot::current(ProcessRunner& runner) {
    try {
        if (const char* path = std::getenv("QUILLMER_REPOSITORY_PATH")) return at(path, runner);
        return at(std::filesystem::current_path(), runner);
    } catch (...) {
        return std::nullopt;  // a capture goes ahead without a snapshot
    }
}

std::optional<RepositorySnapshot> RepositorySnapshot::at(const std::filesystem::path& directory, ProcessRunner& runner) {
    auto rootPath = askGit(runner, directory, {"rev-parse", "--show-toplevel"});
    if (!rootPath) return std::nullopt;
    auto sha = askGit(runner, directory, {"rev-parse", "HEAD"});
    if (!sha) return std::nullopt;
    auto branch = askGit(runner, directory, {"rev-parse", "--abbrev-ref", "HEAD"});
    if (branch == "HEAD") branch.reset();
    return RepositorySnapshot{std::move(*rootPath), std::move(*sha), std::move(branch)};
}

}  // namespace quillmer
