#pragma once

namespace quillmer {

// Runs the desktop application "ai.quillmer.Quillmer": one window hosting the review web view. A
// second launch hands over to the running instance, which raises its window (also for quillmer:
// URLs). Returns the process exit status.
int runQuillmerApplication(int argc, char** argv);

}  // namespace quillmer
