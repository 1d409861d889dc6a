// Blocks are tracked so that a stale or foreign handle is refused with
// ERROR_INVALID_HANDLE instead of being dereferenced, and so that tests can
// see a block that nobody freed.
#include <cstring>
#include "globalmem.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "errors.h"
#include "faults.h"
#include "machine.h"

namespace {

struct Block {
    std::vector<BYTE> bytes;
    int locks = 0;
};

std::mutex g_mutex;
std::map<HGLOBAL, Block*>& Blocks() {
    static std::map<HGLOBAL, Block*> blocks;
    return blocks;
}

Block* Find(HGLOBAL mem) {
    auto it = Blocks().find(mem);
    return it == Blocks().end() ? nullptr : it->second;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT /*flags*/, SIZE_T bytes) {
    if (hostwin::detail::FailIfInjected("GlobalAlloc"))
        return nullptr;
    auto* block = new Block;
    block->bytes.assign(bytes, 0);  // zeroed whatever the flags say
    std::lock_guard lock(g_mutex);
    HGLOBAL handle = block;
    Blocks()[handle] = block;
    return handle;
}

LPVOID WINAPI GlobalLock(HGLOBAL mem) {
    std::lock_guard lock(g_mutex);
    Block* block = Find(mem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++block->locks;
    static BYTE empty = 0;
    return block->bytes.empty() ? &empty : block->bytes.data();
}

BOOL WINAPI GlobalUnlock(HGLOBAL mem) {
    std::lock_guard lock(g_mutex);
    Block* block = Find(mem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (block->locks > 0)
        --block->locks;
    SetLastError(NO_ERROR);
    return block->locks > 0 ? TRUE : FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL mem) {
    std::lock_guard lock(g_mutex);
    Block* block = Find(mem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return block->bytes.size();
}

HGLOBAL WINAPI GlobalFree(HGLOBAL mem) {
    std::lock_guard lock(g_mutex);
    auto it = Blocks().find(mem);
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return mem;
    }
    delete it->second;
    Blocks().erase(it);
    return nullptr;
}

size_t hostwin::Machine::LiveGlobalBlocks() {
    std::lock_guard lock(g_mutex);
    return Blocks().size();
}
