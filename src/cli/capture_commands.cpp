#include "cli/capture_commands.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "engine/capture_engine.h"
#include "capture/session_folder.h"
#include "cli/engine_session.h"
#include "platform/linux/capture_services.h"
#include "consent/consent_store.h"
#include "core/error.h"
#include "core/iso8601.h"
#include "core/loop_main_queue.h"
#include "platform/application_paths.h"
#include "platform/linux/gio_trash.h"
#include "platform/linux/json_file_user_defaults.h"
#include "platform/linux/posix_process_runner.h"

namespace quillmer::cli {

namespace {

using Clock = std::chrono::steady_clock;

std::string formatElapsed(Clock::duration elapsed) {
    const auto total = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(total / 3600),
                  static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
    return text;
}

int runDisplays(std::span<const std::string> arguments) {
    if (!arguments.empty()) return reportError("displays takes no arguments (see quillmer displays --help)", kExitUsage);
    auto services = makeCaptureServices();
    EngineSession session(*services.capture, *services.writers);
    session.engine.refreshDisplays();
    const auto& state = session.engine.state();
    if (state.displays.empty()) return reportError(state.errorMessage.value_or("No capturable display is available."));
    for (const auto& display : state.displays) std::cout << display.id() << "\t" << display.label() << "\n";
    return kExitSuccess;
}

int runRecord(std::span<const std::string> arguments) {
    RecordOptions options;
    try {
        options = parseRecordOptions(arguments);
    } catch (const Error& error) {
        return reportError(std::string(error.what()) + " (see quillmer record --help)", kExitUsage);
    }
    auto services = makeCaptureServices();
    JsonFileUserDefaults defaults(userDefaultsFile());
    return record(*services.capture, *services.writers, defaults, options);
}

// The form the page sends (JavaScript's toISOString), so a record reads the same from both.
std::string affirmationTime(Timestamp time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d",
                  static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(time - seconds).count()));
    std::string text = formatISO8601(seconds);
    return text.insert(text.size() - 1, fraction);
}

}  // namespace

int record(CaptureService& capture, MediaWriterFactory& writers, UserDefaults& defaults, const RecordOptions& options) {
    ConsentStore consent(defaults);
    const bool standing = consent.recordingConsentState().standing;
    if (!options.everyoneKnows && !standing) {
        return reportError(std::string(ConsentError(ConsentErrorCase::consentRequired).what()) +
                               " Tell them, then pass --everyone-knows (or turn on standing consent: quillmer "
                               "consent standing on).",
                           kExitUsage);
    }

    EngineSession session(capture, writers);
    auto& engine = session.engine;
    const auto& state = engine.state();

    engine.refreshDisplays();
    const auto display = std::find_if(state.displays.begin(), state.displays.end(),
                                      [&](const CapturableDisplay& d) { return d.id() == options.displayID; });
    if (display == state.displays.end()) {
        if (state.errorMessage) return reportError(*state.errorMessage);
        return reportError("no display " + std::to_string(options.displayID) + " (see quillmer displays)");
    }

    if (consent.acknowledgedDisclosureVersion() < kCurrentDisclosureVersion) {
        // Shown once, as the page shows it until "I have read this".
        std::cerr << recordingDisclosureText() << "\n";
        consent.acknowledgeDisclosure(kCurrentDisclosureVersion);
    }

    installStopHandlers();
    const auto affirmedAt = std::chrono::system_clock::now();
    engine.startCapture(*display, RecordingConsentAffirmation{kCurrentDisclosureVersion, affirmationTime(affirmedAt), standing});
    if (!state.isCapturing) return reportError(state.errorMessage.value_or("Capture could not start."));
    consent.recordAffirmation(affirmedAt);

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const auto started = Clock::now();
    const auto end = options.durationSeconds
                         ? started + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(*options.durationSeconds))
                         : Clock::time_point::max();
    // Redrawn in place on a terminal; a plain line now and then in a log.
    const auto redraw = terminal ? std::chrono::milliseconds(250) : std::chrono::milliseconds(5000);
    auto statusLine = [&] {
        return "Recording " + formatElapsed(Clock::now() - started) + "  " + std::to_string(state.frameCount) +
               " frames";
    };
    while (!stopRequested && state.isCapturing && Clock::now() < end) {
        session.queue.runUntil([&] { return stopRequested || !state.isCapturing; }, std::min(Clock::now() + redraw, end));
        if (terminal) std::cerr << "\r" << statusLine() << "\x1b[K" << std::flush;
        else std::cerr << statusLine() << "\n";
    }
    if (state.isCapturing) {
        bool stopped = false;
        engine.stopCapture([&] { stopped = true; });
        session.queue.runUntil([&] { return stopped; });
    }
    if (terminal) std::cerr << "\r" << statusLine() << "\x1b[K\n";

    if (state.lastSessionDirectory) std::cout << state.lastSessionDirectory->string() << "\n";
    if (state.errorMessage) return reportError(*state.errorMessage);
    return kExitSuccess;
}

RecordOptions parseRecordOptions(std::span<const std::string> arguments) {
    RecordOptions options;
    bool haveDisplay = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--everyone-knows") {
            options.everyoneKnows = true;
            continue;
        }
        if (name != "--display" && name != "--duration") throw Error("unknown argument \"" + name + "\"");
        if (i + 1 >= arguments.size()) throw Error(name + " needs a value");
        const std::string& value = arguments[++i];
        if (name == "--display") {
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), options.displayID);
            if (error != std::errc() || end != value.data() + value.size())
                throw Error("--display needs a display id, as quillmer displays lists them");
            haveDisplay = true;
        } else {
            double seconds = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) || seconds <= 0)
                throw Error("--duration needs a positive number of seconds");
            options.durationSeconds = seconds;
        }
    }
    if (!haveDisplay) throw Error("record needs --display ID");
    return options;
}

Command displaysCommand() {
    return {"displays", "list the displays that can be recorded",
            "Usage: quillmer displays\n\n"
            "Prints one line per display that can be recorded: its id, a tab, and its label\n"
            "(\"Display 1 \u00B7 1920 \u00D7 1080\"). Exits 1 when no display can be listed.\n",
            runDisplays};
}

Command recordCommand() {
    return {"record", "record a display's screen and the computer's audio into a new session",
            "Usage: quillmer record --display ID [--duration SECONDS] [--everyone-knows]\n\n"
            "Records display ID (see quillmer displays) with the system audio and the microphone\n"
            "into a new session folder under $XDG_DATA_HOME/Quillmer/Sessions, until SECONDS have\n"
            "passed or until interrupted (Ctrl-C or SIGTERM stops cleanly; a second one ends at once).\n"
            "Shows the elapsed time and the frames captured on stderr, and prints the session\n"
            "folder on stdout. Exits 1 when the capture fails; a capture that stopped unexpectedly\n"
            "still prints the folder with what was recorded.\n\n"
            "Tell everyone on the call first. --everyone-knows confirms that you did; without it,\n"
            "record starts only when standing consent is on (quillmer consent standing on) and\n"
            "otherwise exits 2 without recording. The recording notice is shown on stderr the first\n"
            "time. Your confirmation is kept with the recording as consent.json.\n",
            runRecord};
}

}  // namespace quillmer::cli
