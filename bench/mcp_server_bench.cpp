// quillmer-mcp as an agent meets it, over a library of generated exports (1,000 by default):
// time from starting the process to the tools/list answer, then list_meetings (first and repeated),
// search and get_brief, each a round trip through the real process. The obvious alternative is a
// listing that reads every export's files on every call; it is timed in this process (no pipes, so
// it is favoured) and the ratio is reported. Goal: first answer under 50 ms, list_meetings under
// 100 ms. Run: build/bench/mcp_server_bench [meetings]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/json.h"
#include "mcp/meeting_library.h"
#include "support/export_builders.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The server process with its stdin and stdout on pipes.
class ServerProcess {
public:
    explicit ServerProcess(const fs::path& root) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string environment = "QUILLMER_LIBRARY_ROOTS=" + root.string();
        char* envp[] = {const_cast<char*>(environment.c_str()), nullptr};
        char* argv[] = {const_cast<char*>(QUILLMER_MCP_PATH), nullptr};
        if (::posix_spawn(&pid_, QUILLMER_MCP_PATH, &actions, nullptr, argv, envp) != 0) std::abort();
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~ServerProcess() {
        ::close(input_);
        ::close(output_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    void send(const std::string& line) {
        const std::string framed = line + "\n";
        if (::write(input_, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size())) std::abort();
    }
    std::string receive() {
        for (;;) {
            if (const size_t end = buffered_.find('\n'); end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            char chunk[65536];
            const ssize_t count = ::read(output_, chunk, sizeof chunk);
            if (count <= 0) std::abort();
            buffered_.append(chunk, static_cast<size_t>(count));
        }
    }
    double roundTrip(const std::string& tool, const quillmer::Json& arguments) {
        const auto start = Clock::now();
        send(quillmer::encodeCompactJSON({{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", "tools/call"},
                                          {"params", {{"name", tool}, {"arguments", arguments}}}}));
        const std::string reply = receive();
        const double elapsed = millisecondsSince(start);
        if (quillmer::parseJSON(reply)["result"]["isError"] != false) std::abort();
        return elapsed;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1, output_ = -1, id_ = 10;
    std::string buffered_;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work>
double medianOf(int rounds, Work&& work) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) times.push_back(work());
    return median(times);
}

}  // namespace

int main(int argc, char** argv) {
    const int meetings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const fs::path root = fs::temp_directory_path() / "quillmer-bench-mcp";
    fs::remove_all(root);
    fs::create_directories(root);
    for (int index = 0; index < meetings; ++index) quillmer::testing::writeGeneratedExport(root, {index});
    const std::string newest = quillmer::testing::generatedExportID(meetings - 1);

    const double firstAnswer = medianOf(5, [&] {
        const auto start = Clock::now();
        ServerProcess server(root);
        server.send(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"bench","version":"1"}}})");
        server.send(R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
        server.send(R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})");
        server.receive();
        server.receive();
        return millisecondsSince(start);
    });

    ServerProcess server(root);
    // Immediately after start: the library is still being read in the background.
    const double firstList = server.roundTrip("list_meetings", quillmer::Json::object());
    const double list = medianOf(20, [&] { return server.roundTrip("list_meetings", quillmer::Json::object()); });
    const double search = medianOf(20, [&] { return server.roundTrip("search", {{"query", "sandbox import"}}); });
    const double searchAll = medianOf(5, [&] { return server.roundTrip("search", {{"query", "no such words"}}); });
    const double brief = medianOf(20, [&] { return server.roundTrip("get_brief", {{"meeting", newest}}); });
    // The obvious alternative: read every export's files again for each listing.
    const double naive = medianOf(5, [&] {
        const auto start = Clock::now();
        quillmer::MeetingLibrary fresh({root});
        if (fresh.meetings().size() != static_cast<size_t>(meetings)) std::abort();
        return millisecondsSince(start);
    });
    fs::remove_all(root);

    std::printf("quillmer-mcp over %d exported meetings (medians)\n", meetings);
    std::printf("  start to tools/list answer     %8.2f ms   (goal < 50 ms)\n", firstAnswer);
    std::printf("  list_meetings, at once         %8.2f ms   (waits for the library to be read)\n", firstList);
    std::printf("  list_meetings, repeated        %8.2f ms   (goal < 100 ms)\n", list);
    std::printf("  search, first 20 hits          %8.2f ms\n", search);
    std::printf("  search, no hit (reads all)     %8.2f ms\n", searchAll);
    std::printf("  get_brief                      %8.2f ms\n", brief);
    std::printf("  naive listing (reads all files)%8.2f ms   in-process: %.1fx slower than a repeated list_meetings\n",
                naive, naive / list);
    return 0;
}
