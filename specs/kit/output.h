#pragma once
// Writing a text into an output buffer the console passed in (zvOutput).
//
// The console owns the buffer; the library only fills it. Any thread that owns the
// buffer; in practice the console's user-interface thread.

#include "specs/zvspec.h"

#include <string_view>

namespace zv::spec {

// Writes `text` zero-terminated and stores the number of units written. A text that
// does not fit is cut (never inside a surrogate pair) so that the terminator still fits,
// and the call reports failure: a cut HTML page or value is of no use to the console.
// A buffer too small even for the terminator, or a null buffer, is left alone.
bool writeOutput(zvOutput* out, std::u16string_view text);

}  // namespace zv::spec
