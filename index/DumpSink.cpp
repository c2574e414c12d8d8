#include "index/DumpSink.h"

namespace axf::index {

Sink& stdoutSink() {
    static StdoutSink sink;
    return sink;
}

}  // namespace axf::index
