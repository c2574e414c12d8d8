// The diagnostic dump of one embedding entry.
#include "query/EntryDump.h"

#include <string>

#include "common/Fatal.h"
#include "common/Output.h"
#include "query/Embedding.h"
#include "xml/Show.h"

namespace axf::query {

void dumpEntry(const EmbeddingEntry& entry, Sink& sink) {
    if (!entry.tree) throw InternalError("dumpEntry: entry without a tree");
    std::string text = "Embedding cost: ";
    xml::showAt(0, entry.cost, text);
    text += "\nEmbedding position: ";
    xml::showAt(0, entry.position, text);
    text += "\nEmbedding tree:\n";
    xml::showAt(0, restoreAttributes(entry.tree), text);
    text += '\n';
    sink.write(text);
}

void dumpEntry(const EmbeddingEntry& entry) {
    StdoutSink sink;
    dumpEntry(entry, sink);
}

}  // namespace axf::query
