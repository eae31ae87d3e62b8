#include "support/media_probe.h"

#include <nlohmann/json.hpp>
#include <regex>

#include "platform/linux/posix_process_runner.h"

namespace quillmer::testing {
namespace {

double numberIn(const nlohmann::json& object, const char* key) {
    if (!object.contains(key)) return 0;
    const auto& value = object[key];
    if (value.is_number()) return value.get<double>();
    if (value.is_string()) return std::stod(value.get<std::string>());
    return 0;
}

}  // namespace

std::string probeEntries(const std::filesystem::path& file, const std::string& streams, const std::string& entries) {
    PosixProcessRunner runner;
    std::string text = runner.run({"/usr/bin/ffprobe",
                                   {"-v", "error", "-select_streams", streams, "-show_entries", entries, "-of",
                                    "default=noprint_wrappers=1:nokey=1", file.string()},
                                   std::nullopt, ""})
                           .standardOutput;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

MediaProbe probeMedia(const std::filesystem::path& file) {
    PosixProcessRunner runner;
    const ProcessResult result = runner.run(
        {"/usr/bin/ffprobe",
         {"-v", "error", "-select_streams", "0", "-show_entries",
          "stream=codec_name,width,height,pix_fmt,sample_rate,channels:format=start_time,duration:frame=pts_time,key_frame",
          "-of", "json", file.string()},
         std::nullopt,
         ""});
    MediaProbe probe;
    probe.errors = result.standardError;
    if (!result.launched) return probe;
    const auto json = nlohmann::json::parse(result.standardOutput, nullptr, false);
    if (json.is_discarded() || !json.contains("streams") || json["streams"].empty()) return probe;
    const auto& stream = json["streams"][0];
    probe.readable = true;
    probe.codecName = stream.value("codec_name", "");
    probe.width = stream.value("width", 0);
    probe.height = stream.value("height", 0);
    probe.pixelFormat = stream.value("pix_fmt", "");
    probe.sampleRate = static_cast<int>(numberIn(stream, "sample_rate"));
    probe.channels = stream.value("channels", 0);
    if (json.contains("format")) {
        probe.startSeconds = numberIn(json["format"], "start_time");
        probe.durationSeconds = numberIn(json["format"], "duration");
    }
    for (const auto& frame : json.value("frames", nlohmann::json::array())) {
        probe.framePTS.push_back(numberIn(frame, "pts_time"));
        probe.keyframes.push_back(frame.value("key_frame", 0) == 1);
    }
    return probe;
}

std::vector<SilentStretch> findSilence(const std::filesystem::path& file, double minimumSeconds) {
    PosixProcessRunner runner;
    const ProcessResult result = runner.run(
        {"/usr/bin/ffmpeg",
         {"-hide_banner", "-nostats", "-i", file.string(), "-af",
          "silencedetect=noise=-50dB:duration=" + std::to_string(minimumSeconds), "-f", "null", "-"},
         std::nullopt,
         ""});
    std::vector<SilentStretch> stretches;
    static const std::regex start("silence_start: (-?[0-9.]+)");
    static const std::regex end("silence_end: (-?[0-9.]+)");
    std::smatch match;
    std::string rest = result.standardError;
    while (std::regex_search(rest, match, start)) {
        SilentStretch stretch;
        stretch.start = std::stod(match[1]);
        rest = match.suffix();
        if (std::regex_search(rest, match, end)) {
            stretch.end = std::stod(match[1]);
            rest = match.suffix();
        }
        stretches.push_back(stretch);
    }
    return stretches;
}

}  // namespace quillmer::testing
