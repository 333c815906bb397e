#pragma once

namespace qbk {

// Registers the compiled-in pictures, icons and style sheet (":/..."). They live in a
// static library, so someone must reference them for the linker to keep them; safe to call
// any number of times.
void loadResources();

} // namespace qbk
