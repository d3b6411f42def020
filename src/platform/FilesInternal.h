// What the portable part of the file layer (Files.cpp) asks of the system's
// part (FilesPosix.cpp or FilesWindows.cpp), and the list of temporary files
// both parts share. Not part of the interface: only src/platform includes it.
#ifndef TERVALA_PLATFORM_FILESINTERNAL_H
#define TERVALA_PLATFORM_FILESINTERNAL_H

#include <string>

namespace tervala {
namespace platform {
namespace internal {

// The temporary files of live ReplacingFile objects, in fixed slots, so that
// a signal or console handler reads only memory that is never freed.
// rememberTemporary returns the slot (-1 when all are taken or the path is
// too long: the handler then misses that file); forgetTemporary frees it.
int rememberTemporary(const std::string& path);
void forgetTemporary(int slot);
// Calls `remove` with every path held at this moment. Reads only the fixed
// slots, so a signal handler may call it (with a `remove` that is itself
// safe there).
void removeHeldTemporaries(void (*remove)(const char* path));

// A second name for the file at `target`, so that it can be put back after
// `target` is replaced: a hard link, or a copy where the file system has no
// hard links. `kept` empty when there is no file there; false (with `error`)
// when one exists and cannot be kept.
bool keepOldFile(const std::string& target, std::string& kept, std::string& error);
// Renames `from` over `to` (replacing it); false with `error` (the system's
// reason) when that fails.
bool renameOver(const std::string& from, const std::string& to, std::string& error);
// Removes the file `path`; false with `error` when that fails.
bool removeFile(const std::string& path, std::string& error);

} // namespace internal
} // namespace platform
} // namespace tervala

#endif
