// Saving the programmer memory over the working range as an Intel HEX file
// ("内存数据制作HEX文件"). The code file loader reads what this writes.
#pragma once

#include "core/outcome.h"

namespace zvp {

// The operation behind OpSaveHexFile, on the worker: asks for a file name,
// reads the programmer memory one 256-byte page at a time (the code buffer
// in debug mode, without any traffic) and writes it as data records. The
// file is written whole or not at all: records go to a part file beside the
// target, which replaces the target only when every record is in; after a
// failure or the user's stop the target is as it was and the part file is
// gone. A link is followed to the file it points to (created when
// missing), and the link stays; a replaced file keeps its permissions. An
// existing file the user may not write (or that has no write permission at
// all) is refused before anything is read, and so is a file whose folder
// takes no part file. The status line says whether the programmer or the
// disk failed; link_fault is 1 afterwards when the file could not be created
// or written or a page could not be read (failed), and 0 after success, a
// cancelled dialog (declined) and the user's stop (interrupted).
Outcome SaveHexFile();

}  // namespace zvp
