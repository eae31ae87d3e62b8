// SHA-256 throughput of the export (hashing a copied file, and copy plus hash as copyFrame does
// it) beside `openssl dgst -sha256` on the same file. Both use OpenSSL's SHA-256 with the CPU's SHA
// instructions, so openssl is the bar: goal at least 80 % of its speed. coreutils `sha256sum` is
// shown too. The file is large (512 MiB by default) so that starting the tools' processes does not
// decide the ratio. Run: build/bench/export_hashing_bench [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/sha256.h"
#include "evidence/evidence_bundle_exporter.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

template <typename Work>
double best(int rounds, Work&& work) {
    double fastest = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        work();
        fastest = std::min(fastest, secondsSince(start));
    }
    return fastest;
}

}  // namespace

int main(int argc, char** argv) {
    const int megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 512;
    const fs::path folder = fs::temp_directory_path() / "quillmer-bench-hash";
    fs::remove_all(folder);
    fs::create_directories(folder / "session" / "frames");
    fs::create_directories(folder / "export" / "frames");
    const fs::path file = folder / "session" / "frames" / "large.png";
    {
        std::mt19937_64 random(1);
        std::ofstream out(file, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (int m = 0; m < megabytes; ++m) {
            for (size_t i = 0; i < block.size(); i += 8) {
                const uint64_t value = random();
                block.replace(i, 8, reinterpret_cast<const char*>(&value), 8);
            }
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    quillmer::sha256HexOfFile(file);  // warm the page cache for everyone

    const double ours = best(3, [&] { quillmer::sha256HexOfFile(file); });
    const auto tool = [&](const std::string& command) {
        const std::string line = command + " " + file.string() + " > /dev/null";
        return best(3, [&] { std::system(line.c_str()); });
    };
    const double openssl = tool("openssl dgst -sha256");
    const double coreutils = tool("sha256sum");
    const double copyAndHash = best(3, [&] {
        fs::remove(folder / "export" / "frames" / "large.png");
        quillmer::copyFrame("frames/large.png", folder / "session", folder / "export" / "frames");
    });

    const double mb = megabytes;
    std::printf("file: %d MiB (page cache warm)\n", megabytes);
    std::printf("sha256HexOfFile:           %7.1f MiB/s\n", mb / ours);
    std::printf("openssl dgst -sha256:      %7.1f MiB/s\n", mb / openssl);
    std::printf("sha256sum:                 %7.1f MiB/s\n", mb / coreutils);
    std::printf("copyFrame (copy + digest): %7.1f MiB/s\n", mb / copyAndHash);
    std::printf("hashing at %.0f %% of openssl's speed (goal: at least 80 %%), %.0f %% of sha256sum's\n",
                100.0 * openssl / ours, 100.0 * coreutils / ours);
    fs::remove_all(folder);
    return 0;
}
