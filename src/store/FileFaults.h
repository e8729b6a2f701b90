// The file operations of the table engine seen from outside: a process-wide hook consulted
// before every operation that opens, creates, writes, truncates, syncs, renames or erases a file
// through the store. Tests install it to make an operation fail as the system would, or to stop
// the run there as if the process had ended (nothing after it reaches the disk).
#pragma once

#include <functional>
#include <string>

namespace exo::store {

enum class FileOp { Open, Create, Write, Truncate, Sync, Rename, Erase };

// What the hook decides for one operation.
struct FileOpDecision {
  enum class Kind {
    Proceed,  // do it
    Fail,     // fail it with `error` (an errno value) as the system would
    Stop,     // throw RunStopped: the run ends here
    Skip,     // pretend it was done (after a stop: a process that ended writes nothing more)
  };
  Kind kind = Kind::Proceed;
  int error = 0;
};

using FileOpHook = std::function<FileOpDecision(FileOp op, const std::string& path)>;

// Installs the hook (an empty one removes it). Not for concurrent use with running operations.
void setFileOpHook(FileOpHook hook);
// Whether a hook is installed. Work that could run its file operations on another thread runs
// them in turn on the calling one while it is, so that the hook sees them in a fixed order.
bool fileOpHookInstalled();

// Thrown by an operation the hook stopped. Deliberately not a std::exception, so that handlers
// of ordinary failures let it through.
struct RunStopped {
  FileOp op;
  std::string path;
};

// Consulted by the store before an operation: Proceed when no hook is installed; throws
// RunStopped for Stop (and for Skip of an open or create, which cannot be pretended).
FileOpDecision checkFileOp(FileOp op, const std::string& path);

const char* fileOpName(FileOp op);

}  // namespace exo::store
