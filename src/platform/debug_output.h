#pragma once

namespace platform {

// The debug output channel: one line on standard error (a trailing newline
// in text is not doubled).
void DebugOutput(const char* text);

}  // namespace platform
