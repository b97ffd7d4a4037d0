// A seam for the tests of WriteWholeFile: a test can make one step of the
// write fail the way the platform would, after the temporary file exists.
// Nothing in the program sets it.
#pragma once

namespace dorvane::write_file_seam {

enum class Step {
    Write,    // the disk fills up after half of the bytes
    Flush,    // flushing the temporary file to the disk fails
    Replace,  // the final rename / replace fails
};

// Returns true for a step that must fail. Null: every step runs normally.
using FailHook = bool (*)(Step);
inline FailHook failHook = nullptr;

inline bool Fails(Step step) { return failHook && failHook(step); }

}  // namespace dorvane::write_file_seam
