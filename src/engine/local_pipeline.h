#pragma once

#include <functional>

#include "engine/capture_engine.h"

namespace quillmer {

// The stages in the order processing runs them. Only the approved passes leave this computer: the
// evidence analysis runs only for a meeting whose evidence pass was approved, and the summary asks a
// model only when the summary pass was.
enum class LocalStage { transcription, evidenceExtraction, evidenceExport, evidenceAnalysis, meetingSummary };

// Runs, for the engine's current session, every local stage whose result is still missing, in
// order: transcription, evidence extraction, export. A stage whose result exists is skipped, so a
// run resumes wherever the last one stopped. Stops after the first stage that fails (the engine's
// errorMessage says why) or is asked to stop (even one that
// then finishes anyway). `starting` hears each stage as it begins; `done` runs on
// the main thread when nothing more will run.
void runMissingLocalStages(CaptureEngine& engine, std::function<void(LocalStage)> starting,
                           std::function<void()> done);

// The same, then the evidence analysis when `approved` holds the evidence pass and the session has
// no report yet, then the meeting summary (the model's only when `approved` holds the summary pass).
void runProcessingStages(CaptureEngine& engine, const RemoteAnalysisPasses& approved,
                         std::function<void(LocalStage)> starting, std::function<void()> done);

}  // namespace quillmer
