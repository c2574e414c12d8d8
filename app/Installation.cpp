#include "app/Installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace axf::app {

namespace {

// The path of the running program, from /proc/self/exe.
std::optional<std::string> programPath() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
        if (buffer.size() >= (std::size_t(1) << 20)) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::optional<std::string> installedDocumentationFolder() {
    std::optional<std::string> program = programPath();
    if (!program) return std::nullopt;
    // PREFIX/bin/axfilter -> PREFIX
    std::string::size_type slash = program->rfind('/');
    if (slash == std::string::npos) return std::nullopt;
    std::string bin = program->substr(0, slash);
    slash = bin.rfind('/');
    if (slash == std::string::npos || bin.substr(slash + 1) != "bin") return std::nullopt;
    std::string folder = bin.substr(0, slash) + "/share/doc/axfilter";
    if (!isRegularFile(folder + "/README.md")) return std::nullopt;
    return folder;
}

}  // namespace axf::app
