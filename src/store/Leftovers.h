// The temporary files a run leaves behind when it is killed: a whole file written beside its
// place ("name.tmpPID_N") or a file staged for a replacement ("~PID~name") carry the number of
// the process that writes them, so that a later start can tell a leftover of an ended process
// from a file another process is still writing.
#pragma once

#include <string>
#include <string_view>

namespace exo::store {

// The staged name of `name` for this process ("~PID~name").
std::string stagedName(std::string_view name);
// The process that writes the temporary file `fileName` (a name without folder), or 0 when the
// name is not one of a temporary file.
long temporaryOwner(std::string_view fileName);
// True while the process `pid` runs on this machine.
bool processAlive(long pid);
// Erases the temporary files of `folder` (not of its subfolders) whose writing process has
// ended; returns how many. Files of running processes, and files of this process, stay.
int removeLeftovers(const std::string& folder);

}  // namespace exo::store
