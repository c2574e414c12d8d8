// The floor under a run on the machine at hand: what reading a document
// costs, and what first-touching as many bytes as a run's peak memory costs,
// on ordinary 4 KiB pages and on huge pages. No run that reads the document
// and holds that much memory can take less than reading it plus touching
// its peak once on huge pages.
//
//   memory_floor DOCUMENT PEAK_BYTES [ROUNDS]
//       prints "read S touch4k S touchhuge S floor S" (seconds, the fastest
//       of ROUNDS, default 3, each on fresh memory); floor is read plus
//       touchhuge.
//   memory_floor --without-huge-pages COMMAND [ARG ...]
//       runs the command with huge pages refused to it (and to what it
//       starts), as on a kernel that gives none.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/PageMemory.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Reads the whole file through one buffer that is touched before the clock
// starts: the cost of the reading alone, not of memory to hold it.
double readFile(const char* name) {
    static std::vector<char> buffer(std::size_t(1) << 20, 1);
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(name);
        std::exit(2);
    }
    const auto start = Clock::now();
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            std::perror(name);
            std::exit(2);
        }
        if (n == 0) break;
    }
    const double s = secondsSince(start);
    ::close(fd);
    return s;
}

// Writes one byte in every 4 KiB page of [p, p + bytes).
void touchPages(char* p, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; i += 4096) static_cast<volatile char*>(p)[i] = 1;
}

// First touch of `bytes` of fresh memory in ordinary pages.
double touchSmallPages(std::size_t bytes) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        std::perror("mmap");
        std::exit(2);
    }
#ifdef MADV_NOHUGEPAGE
    ::madvise(p, bytes, MADV_NOHUGEPAGE);
#endif
    const auto start = Clock::now();
    touchPages(static_cast<char*>(p), bytes);
    const double s = secondsSince(start);
    ::munmap(p, bytes);
    return s;
}

// First touch of `bytes` of fresh memory as the program takes its large
// blocks: huge pages where the kernel gives them.
double touchHugePages(std::size_t bytes) {
    axf::PageBlock block(bytes);
    const auto start = Clock::now();
    touchPages(block.data(), bytes);
    return secondsSince(start);
}

int runWithoutHugePages(char** command) {
    if (::prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0) {
        std::perror("prctl");
        return 2;
    }
    ::execvp(command[0], command);
    std::perror(command[0]);
    return 127;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--without-huge-pages") == 0) return runWithoutHugePages(argv + 2);
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr,
                     "usage: memory_floor DOCUMENT PEAK_BYTES [ROUNDS]\n"
                     "       memory_floor --without-huge-pages COMMAND [ARG ...]\n");
        return 2;
    }
    const std::size_t peak = std::max<std::size_t>(std::strtoull(argv[2], nullptr, 10), 4096);
    const int rounds = argc == 4 ? std::max(1, std::atoi(argv[3])) : 3;
    double read = 1e300, small = 1e300, huge = 1e300;
    for (int r = 0; r < rounds; ++r) {
        read = std::min(read, readFile(argv[1]));
        small = std::min(small, touchSmallPages(peak));
        huge = std::min(huge, touchHugePages(peak));
    }
    std::printf("read %.4f touch4k %.4f touchhuge %.4f floor %.4f\n", read, small, huge, read + huge);
    return 0;
}
