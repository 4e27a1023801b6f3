// Writing the Workbook stream with its changed records, and the one pass that moves every
// absolute offset into the stream to the records' final positions: BOUNDSHEET's lbPlyPos,
// INDEX (ibXF, rgibRw), DBCELL (dbRtrw, rgdb) and EXTSST, rebuilt with the SST.
#pragma once

#include "globals.h"

#include <string>

namespace engine::xls {

/// The new stream: every record as it was or as changes replaces it, the shared string table
/// written anew when it changed (added before the globals' EOF when there was none), then
/// whatever followed the last substream. The table's records join changes' edits.
/// Errors: ResourceLimit when a row's cells grow past what a DBCELL offset can hold.
Result<std::string> layOut(const Globals& globals, ChangeSet& changes);

} // namespace engine::xls
