#include "support/private_sound_server.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <thread>

#include "platform/linux/posix_process_runner.h"

namespace quillmer::testing {

std::optional<std::string> PrivateSoundServer::unavailableReason() {
    if (!findExecutable("pulseaudio")) return "pulseaudio is not installed (Debian package pulseaudio).";
    if (!findExecutable("pactl") || !findExecutable("pacat")) {
        return "pactl and pacat are not installed (Debian package pulseaudio-utils).";
    }
    return std::nullopt;
}

PrivateSoundServer::PrivateSoundServer() {
    if (auto reason = unavailableReason()) throw std::runtime_error(*reason);
    const auto runtime = folder_ / "runtime";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    std::filesystem::create_directories(folder_ / "home");
    const auto socket = folder_ / "native";
    serverAddress_ = "unix:" + socket.string();

    BackgroundProcess::Launch launch;
    launch.executable = *findExecutable("pulseaudio");
    // Works as root too: --system=false keeps it a per-user daemon, and it only warns about root.
    launch.arguments = {"--system=false",
                        "--daemonize=no",
                        "--exit-idle-time=-1",
                        "--use-pid-file=no",
                        "--log-target=stderr",
                        "-n",
                        "--load=module-native-protocol-unix socket=" + socket.string() + " auth-anonymous=1",
                        std::string("--load=module-null-sink sink_name=") + kSinkName + " rate=48000 channels=2",
                        "--load=module-always-sink"};
    launch.environment = {{"XDG_RUNTIME_DIR", runtime.string()}, {"HOME", (folder_ / "home").string()}};
    launch.logFile = folder_ / "pulseaudio.log";
    process_ = std::make_unique<BackgroundProcess>(launch);

    // Clients (this process, pactl, pacat) find the server here and keep their cookie out of $HOME.
    server_ = std::make_unique<ScopedEnvironment>("PULSE_SERVER", serverAddress_);
    cookie_ = std::make_unique<ScopedEnvironment>("PULSE_COOKIE", (folder_ / "cookie").string());

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        PosixProcessRunner runner;
        if (std::filesystem::exists(socket) &&
            runner.run({*findExecutable("pactl"), {"info"}, std::nullopt, ""}).succeeded()) {
            return;
        }
        if (!process_->isRunning() || std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string log = process_->log();
    process_.reset();
    throw std::runtime_error("pulseaudio did not start: " + log);
}

PrivateSoundServer::~PrivateSoundServer() {
    process_.reset();
    cookie_.reset();
    server_.reset();
}

std::string PrivateSoundServer::pactl(const std::vector<std::string>& arguments) {
    PosixProcessRunner runner;
    auto result = runner.run({*findExecutable("pactl"), arguments, std::nullopt, ""});
    if (!result.succeeded()) throw std::runtime_error("pactl failed: " + result.standardError);
    return result.standardOutput;
}

void PrivateSoundServer::addMicrophone() {
    pactl({"load-module", "module-remap-source", std::string("master=") + kSinkName + ".monitor",
           std::string("source_name=") + kMicrophoneName, "channels=1"});
    pactl({"set-default-source", kMicrophoneName});
}

void PrivateSoundServer::play(const std::vector<float>& stereoSamples) {
    std::string bytes(stereoSamples.size() * sizeof(float), '\0');
    std::memcpy(bytes.data(), stereoSamples.data(), bytes.size());
    PosixProcessRunner runner;
    auto result = runner.run({*findExecutable("pacat"),
                              {"--playback", "--raw", "--format=float32le", "--rate=48000", "--channels=2",
                               std::string("--device=") + kSinkName},
                              std::nullopt,
                              bytes});
    if (!result.succeeded()) throw std::runtime_error("pacat failed: " + result.standardError);
}

void PrivateSoundServer::kill() { process_->kill(); }

std::vector<float> stereoTone(double hz, double seconds) {
    const auto frames = static_cast<size_t>(seconds * 48'000);
    std::vector<float> samples(frames * 2);
    for (size_t frame = 0; frame < frames; ++frame) {
        const auto value = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hz * frame / 48'000.0));
        samples[frame * 2] = value;
        samples[frame * 2 + 1] = value;
    }
    return samples;
}

}  // namespace quillmer::testing
