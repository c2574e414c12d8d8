// Where the installed documentation of the tool lies, for the usage text:
// `cmake --install` puts the README, the tag vocabulary, the example
// documents and the manual page under the prefix's share/ (see
// CMakeLists.txt), beside the prefix's bin/ that holds the program.
#pragma once

#include <optional>
#include <string>

namespace axf::app {

// The folder of the installed README (PREFIX/share/doc/axfilter), found from
// the running program's own path; absent when the program does not run from
// an installation (a build folder) or its path cannot be read.
std::optional<std::string> installedDocumentationFolder();

}  // namespace axf::app
