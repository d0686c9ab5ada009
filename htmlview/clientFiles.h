#pragma once
// The browser client's files (index.html, client.css and the script modules, client.js
// and those it imports, from htmlview/client),
// compiled into the program by the build so that the host needs no installation path
// to serve them.
//
// Thread safety: the data is constant; call from any thread.

#include <string_view>

namespace zv {

// The file's bytes by base name ("client.js"); empty for a name that is not a client
// file.
std::string_view clientFile(std::string_view name);

}  // namespace zv
