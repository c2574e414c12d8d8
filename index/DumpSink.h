// The default sink of the indexer's diagnostic dumps: standard output,
// through the program's one buffered writer.
// A header of its own, so that a header offering a dump with this default
// does not pull in the dumps themselves.
#pragma once

#include "common/Output.h"

namespace axf::index {

Sink& stdoutSink();

}  // namespace axf::index
