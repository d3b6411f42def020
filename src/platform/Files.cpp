// The parts of the file layer that need no system call; the rest is in
// FilesPosix.cpp or FilesWindows.cpp, whichever the build chose.
#include "platform/Files.h"
#include "platform/FilesInternal.h"

#include <atomic>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

namespace tervala {
namespace platform {

LoadStatus loadFailure(const std::string& path, LoadProblem problem, std::string reason, int systemError)
{
    LoadStatus status;
    status.path = path;
    status.problem = problem;
    status.systemError = systemError;
    status.reason = std::move(reason);
    return status;
}

File openRegularFile(const std::string& path)
{
    LoadStatus ignored;
    return openRegularFile(path, ignored);
}

bool FileIdentity::operator<(const FileIdentity& o) const
{
    return std::tie(path, size, modified) < std::tie(o.path, o.size, o.modified);
}

namespace internal {
namespace {

// A slot's state is 0 (free), 1 (being filled) or 2 (holds a path).
constexpr int kTemporarySlots = 32;
constexpr std::size_t kSlotPathBytes = 4096;
struct TemporarySlot {
    std::atomic<int> state{0};
    char path[kSlotPathBytes];
};
TemporarySlot temporarySlots[kTemporarySlots];

} // namespace

int rememberTemporary(const std::string& path)
{
    if (path.size() >= kSlotPathBytes)
        return -1;
    for (int i = 0; i < kTemporarySlots; ++i) {
        int expected = 0;
        if (temporarySlots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(temporarySlots[i].path, path.c_str(), path.size() + 1);
            temporarySlots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void forgetTemporary(int slot)
{
    if (slot >= 0 && slot < kTemporarySlots)
        temporarySlots[slot].state.store(0);
}

void removeHeldTemporaries(void (*remove)(const char* path))
{
    for (TemporarySlot& slot : temporarySlots)
        if (slot.state.load() == 2)
            remove(slot.path);
}

} // namespace internal

void ReplacingFile::forgetTemporary()
{
    // After the file is gone or renamed, so that a signal in between finds
    // at worst a name that no longer exists.
    internal::forgetTemporary(slot_);
    slot_ = -1;
    temporary_.clear();
}

bool ReplacingFile::commit() { return finish() && install(); }

bool commitTogether(ReplacingFile* const* files, std::size_t count, std::string& error)
{
    for (std::size_t i = 0; i < count; ++i)
        if (!files[i]->finish()) {
            error = files[i]->error();
            return false;
        }
    std::vector<std::string> kept(count);
    std::vector<char> replaced(count, 0);
    bool ok = true;
    for (std::size_t i = 0; i < count && ok; ++i) {
        ReplacingFile& f = *files[i];
        if (f.temporary_.empty())
            continue;  // written directly
        if (!internal::keepOldFile(f.target_, kept[i], error)) {
            ok = false;
        } else if (!f.install()) {
            ok = false;
            error = f.error();
        } else {
            replaced[i] = 1;
        }
    }
    // Undo on failure, newest first: the old file back, or no file where
    // none was.
    for (std::size_t j = count; !ok && j-- > 0;) {
        if (!replaced[j])
            continue;
        const std::string& target = files[j]->target_;
        std::string why;
        if (!kept[j].empty() ? internal::renameOver(kept[j], target, why) : internal::removeFile(target, why))
            kept[j].clear();
        else
            error += "; " + target + " could not be restored: " + why +
                     (kept[j].empty() ? "" : " (the old file is " + kept[j] + ")");
    }
    for (std::size_t i = 0; i < count; ++i)
        if (!kept[i].empty() && (ok || !replaced[i])) {
            std::string ignored;
            internal::removeFile(kept[i], ignored);
        }
    return ok;
}

} // namespace platform
} // namespace tervala
