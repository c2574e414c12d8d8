// The benchmarks' reading of the process's peak resident memory.
#pragma once

#include <sys/resource.h>

namespace axf::bench {

// Peak resident memory of this process so far, in MiB.
inline double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

}  // namespace axf::bench
