#include "support/speech_media.h"

#include <stdexcept>

#include "platform/linux/posix_process_runner.h"

namespace quillmer::testing {

ProcessResult runTool(const std::string& tool, const std::vector<std::string>& arguments) {
    ProcessRequest request;
    request.executable = "/usr/bin/" + tool;
    request.arguments = arguments;
    auto result = PosixProcessRunner().run(request);
    if (!result.succeeded())
        throw std::runtime_error(tool + " failed: " + result.launchError + result.standardError);
    return result;
}

double speak(const std::string& text, const std::filesystem::path& wav, const std::string& voice) {
    runTool("flite", {"-voice", voice, "-t", text, "-o", wav.string()});
    // flite writes a plain 44-byte RIFF header before 16 kHz mono 16-bit samples.
    return static_cast<double>(std::filesystem::file_size(wav) - 44) / (16'000 * 2);
}

void makeAudioTrack(const std::filesystem::path& m4a, const std::vector<PlacedSpeech>& speech, double totalSeconds) {
    const std::string total = std::to_string(totalSeconds);
    std::vector<std::string> arguments{"-v", "error", "-y", "-f", "lavfi", "-t", total, "-i", "anullsrc=r=48000:cl=stereo"};
    std::string graph;
    std::string mix = "[0]";
    for (size_t i = 0; i < speech.size(); ++i) {
        arguments.insert(arguments.end(), {"-i", speech[i].wav.string()});
        const auto delay = std::to_string(static_cast<long long>(speech[i].atSeconds * 1000));
        const auto label = "[s" + std::to_string(i) + "]";
        graph += "[" + std::to_string(i + 1) + "]aresample=48000,adelay=" + delay + ":all=1" + label + ";";
        mix += label;
    }
    graph += mix + "amix=inputs=" + std::to_string(speech.size() + 1) + ":duration=first:normalize=0[out]";
    arguments.insert(arguments.end(), {"-filter_complex", graph, "-map", "[out]", "-ac", "2", "-ar", "48000", "-c:a",
                                       "aac", "-b:a", "128k", "-t", total, m4a.string()});
    runTool("ffmpeg", arguments);
}

}  // namespace quillmer::testing
