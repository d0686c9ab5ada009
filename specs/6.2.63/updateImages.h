#pragma once
// Update images of version 6.2.63: the files terminals download when they update
// themselves, made from the version's boot files.
//
// From a boot-file directory holding zelvar.pxe and packages/ (PC terminals) and/or
// pi2/ (Raspberry Pi), the target receives:
//   pc/zelvar.pxe and pc/<each plain file of packages/>
//   pi2/<every file below pi2/, subdirectories kept>
//   update.lst: "version 6.2.63", then one line per file, sorted by path:
//               <SHA-256 in lower-case hex> <size in bytes> <path below the target>
// Everything is written into a temporary sibling of the target first and renamed into
// place at the end, so a failure leaves neither a partial target nor the temporary
// directory behind; an earlier target is replaced only on success. Blocking; any thread.

#include <string>

namespace zv::spec::v6263 {

inline constexpr const char* updateListName = "update.lst";

// Paths in UTF-8. False when the source holds no boot files or anything cannot be read
// or written.
bool makeUpdateImages(const std::string& source, const std::string& target);

}  // namespace zv::spec::v6263
