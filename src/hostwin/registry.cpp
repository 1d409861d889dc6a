// The registry API.  An open key is remembered by its root, its path and the
// rights it was opened with, so that a handle to a key deleted meanwhile
// answers ERROR_KEY_DELETED and the shared tree can be re-read at any time.
#include <cstring>
#include "registry.h"

#include <algorithm>
#include <map>

#include "errors.h"
#include "faults.h"
#include "registry_store.h"

namespace hostwin::detail {
namespace {

struct OpenKey {
    RegRoot root;
    std::vector<std::string> path;
    REGSAM access;
};

std::map<HKEY, OpenKey>& OpenKeys() {
    static std::map<HKEY, OpenKey> keys;
    return keys;
}

bool PredefinedRoot(HKEY key, RegRoot* root) {
    const auto value = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(key));
    if (value < 0x80000000u || value > 0x80000003u)
        return false;
    *root = static_cast<RegRoot>(value - 0x80000000u);
    return true;
}

// The key behind a handle: its description, or an error code.
LONG Describe(HKEY key, OpenKey* out) {
    RegRoot root;
    if (PredefinedRoot(key, &root)) {
        *out = OpenKey{root, {}, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    auto it = OpenKeys().find(key);
    if (it == OpenKeys().end())
        return ERROR_INVALID_HANDLE;
    *out = it->second;
    return ERROR_SUCCESS;
}

// The node behind a handle that must grant `right`.
LONG Node(HKEY key, REGSAM right, RegNode** node, OpenKey* desc = nullptr) {
    OpenKey d;
    if (LONG rc = Describe(key, &d); rc != ERROR_SUCCESS)
        return rc;
    if (right != 0 && (d.access & right) != right)
        return ERROR_ACCESS_DENIED;
    *node = RegistryStore::Get().Resolve(d.root, d.path);
    if (*node == nullptr)
        return ERROR_KEY_DELETED;
    if (desc)
        *desc = d;
    return ERROR_SUCCESS;
}

HKEY NewHandle(OpenKey key) {
    static ULONG_PTR next = 0x1000;
    next += 4;
    auto handle = reinterpret_cast<HKEY>(next);
    OpenKeys()[handle] = std::move(key);
    return handle;
}

bool Injected(const char* api, LONG* rc) {
    DWORD error;
    if (!TakeInjectedFailure(api, &error))
        return false;
    *rc = static_cast<LONG>(error);
    return true;
}

// Runs one API call under the registry's lock, on the current shared state.
template <typename F>
LONG Locked(const char* api, F body) {
    LONG rc;
    if (Injected(api, &rc))
        return rc;
    RegistryStore& store = RegistryStore::Get();
    std::lock_guard lock(store.mutex);
    store.SyncFromDisk();
    return body(store);
}

constexpr size_t kMaxKeyNameLength = 255;

}  // namespace
}  // namespace hostwin::detail

using namespace hostwin::detail;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return Locked("RegOpenKeyExA", [&](RegistryStore& store) -> LONG {
        OpenKey parent;
        if (LONG rc = Describe(hKey, &parent); rc != ERROR_SUCCESS)
            return rc;
        if (store.Resolve(parent.root, parent.path) == nullptr)
            return ERROR_KEY_DELETED;
        OpenKey key{parent.root, parent.path, samDesired & ~static_cast<REGSAM>(KEY_WOW64_64KEY | KEY_WOW64_32KEY)};
        for (auto& part : SplitKeyPath(lpSubKey ? lpSubKey : ""))
            key.path.push_back(std::move(part));
        if (store.Resolve(key.root, key.path) == nullptr)
            return ERROR_FILE_NOT_FOUND;
        *phkResult = NewHandle(std::move(key));
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/, DWORD /*dwOptions*/,
                            REGSAM samDesired, const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return Locked("RegCreateKeyExA", [&](RegistryStore& store) -> LONG {
        OpenKey parent;
        if (LONG rc = Describe(hKey, &parent); rc != ERROR_SUCCESS)
            return rc;
        if (store.Resolve(parent.root, parent.path) == nullptr)
            return ERROR_KEY_DELETED;
        OpenKey key{parent.root, parent.path, samDesired & ~static_cast<REGSAM>(KEY_WOW64_64KEY | KEY_WOW64_32KEY)};
        for (auto& part : SplitKeyPath(lpSubKey ? lpSubKey : "")) {
            if (part.size() > kMaxKeyNameLength)
                return ERROR_INVALID_PARAMETER;
            key.path.push_back(std::move(part));
        }
        const bool exists = store.Resolve(key.root, key.path) != nullptr;
        if (!exists && (parent.access & KEY_CREATE_SUB_KEY) == 0)
            return ERROR_ACCESS_DENIED;
        store.Resolve(key.root, key.path, true);
        if (!exists)
            store.Changed();
        if (lpdwDisposition)
            *lpdwDisposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
        *phkResult = NewHandle(std::move(key));
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    return Locked("RegCloseKey", [&](RegistryStore&) -> LONG {
        RegRoot root;
        if (PredefinedRoot(hKey, &root))
            return ERROR_SUCCESS;
        return OpenKeys().erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}

LONG WINAPI RegFlushKey(HKEY hKey) {
    return Locked("RegFlushKey", [&](RegistryStore&) -> LONG {
        RegNode* node;
        return Node(hKey, 0, &node);
    });
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return Locked("RegDeleteKeyA", [&](RegistryStore& store) -> LONG {
        RegNode* parent;
        if (LONG rc = Node(hKey, 0, &parent); rc != ERROR_SUCCESS)
            return rc;
        std::vector<std::string> path = SplitKeyPath(lpSubKey ? lpSubKey : "");
        if (path.empty())
            return ERROR_INVALID_PARAMETER;  // a key cannot delete itself through this call
        const std::string last = path.back();
        path.pop_back();
        RegNode* holder = parent;
        for (const auto& part : path) {
            holder = holder->FindSubkey(part);
            if (holder == nullptr)
                return ERROR_FILE_NOT_FOUND;
        }
        RegNode* victim = holder->FindSubkey(last);
        if (victim == nullptr)
            return ERROR_FILE_NOT_FOUND;
        if (!victim->subkeys.empty())
            return ERROR_ACCESS_DENIED;  // the NT family deletes only leaf keys
        holder->RemoveSubkey(last);
        store.Changed();
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return Locked("RegDeleteValueA", [&](RegistryStore& store) -> LONG {
        RegNode* node;
        if (LONG rc = Node(hKey, KEY_SET_VALUE, &node); rc != ERROR_SUCCESS)
            return rc;
        if (!node->RemoveValue(lpValueName ? lpValueName : ""))
            return ERROR_FILE_NOT_FOUND;
        store.Changed();
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    return Locked("RegQueryValueExA", [&](RegistryStore&) -> LONG {
        RegNode* node;
        if (LONG rc = Node(hKey, KEY_QUERY_VALUE, &node); rc != ERROR_SUCCESS)
            return rc;
        const RegValue* value = node->FindValue(lpValueName ? lpValueName : "");
        if (value == nullptr)
            return ERROR_FILE_NOT_FOUND;
        if (lpType)
            *lpType = value->type;
        const auto size = static_cast<DWORD>(value->data.size());
        if (lpcbData == nullptr)
            return ERROR_SUCCESS;
        if (lpData != nullptr && *lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (lpData != nullptr && size > 0)
            std::memcpy(lpData, value->data.data(), size);
        *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
    if (Reserved != 0 || (lpData == nullptr && cbData != 0))
        return ERROR_INVALID_PARAMETER;
    return Locked("RegSetValueExA", [&](RegistryStore& store) -> LONG {
        RegNode* node;
        if (LONG rc = Node(hKey, KEY_SET_VALUE, &node); rc != ERROR_SUCCESS)
            return rc;
        std::vector<BYTE> data(lpData, lpData + cbData);
        node->SetValue(lpValueName ? lpValueName : "", dwType, std::move(data));
        store.Changed();
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
        (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    return Locked("RegEnumValueA", [&](RegistryStore&) -> LONG {
        RegNode* node;
        if (LONG rc = Node(hKey, KEY_QUERY_VALUE, &node); rc != ERROR_SUCCESS)
            return rc;
        if (dwIndex >= node->values.size())
            return ERROR_NO_MORE_ITEMS;
        const RegValue& value = node->values[dwIndex];
        if (value.name.size() >= *lpcchValueName)
            return ERROR_MORE_DATA;
        std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
        *lpcchValueName = static_cast<DWORD>(value.name.size());
        if (lpType)
            *lpType = value.type;
        if (lpcbData == nullptr)
            return ERROR_SUCCESS;
        const auto size = static_cast<DWORD>(value.data.size());
        if (lpData != nullptr && *lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (lpData != nullptr && size > 0)
            std::memcpy(lpData, value.data.data(), size);
        *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                          LPSTR /*lpClass*/, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    return Locked("RegEnumKeyExA", [&](RegistryStore&) -> LONG {
        RegNode* node;
        if (LONG rc = Node(hKey, KEY_ENUMERATE_SUB_KEYS, &node); rc != ERROR_SUCCESS)
            return rc;
        if (dwIndex >= node->subkeys.size())
            return ERROR_NO_MORE_ITEMS;
        const RegNode& sub = *node->subkeys[dwIndex];
        if (sub.name.size() >= *lpcchName)
            return ERROR_MORE_DATA;
        std::memcpy(lpName, sub.name.c_str(), sub.name.size() + 1);
        *lpcchName = static_cast<DWORD>(sub.name.size());
        if (lpcchClass)
            *lpcchClass = 0;
        if (lpftLastWriteTime) {
            lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(sub.lastWrite);
            lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(sub.lastWrite) >> 32);
        }
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
    if (lpReserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    return Locked("RegQueryInfoKeyA", [&](RegistryStore&) -> LONG {
        RegNode* node;
        if (LONG rc = Node(hKey, KEY_QUERY_VALUE, &node); rc != ERROR_SUCCESS)
            return rc;
        if (lpClass && lpcchClass && *lpcchClass > 0)
            lpClass[0] = '\0';
        if (lpcchClass)
            *lpcchClass = 0;
        if (lpcSubKeys)
            *lpcSubKeys = static_cast<DWORD>(node->subkeys.size());
        if (lpcbMaxSubKeyLen) {
            size_t longest = 0;
            for (const auto& k : node->subkeys)
                longest = std::max(longest, k->name.size());
            *lpcbMaxSubKeyLen = static_cast<DWORD>(longest);
        }
        if (lpcbMaxClassLen)
            *lpcbMaxClassLen = 0;
        if (lpcValues)
            *lpcValues = static_cast<DWORD>(node->values.size());
        size_t longestName = 0, largest = 0;
        for (const auto& v : node->values) {
            longestName = std::max(longestName, v.name.size());
            largest = std::max(largest, v.data.size());
        }
        if (lpcbMaxValueNameLen)
            *lpcbMaxValueNameLen = static_cast<DWORD>(longestName);
        if (lpcbMaxValueLen)
            *lpcbMaxValueLen = static_cast<DWORD>(largest);
        if (lpcbSecurityDescriptor)
            *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime) {
            lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(node->lastWrite);
            lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(node->lastWrite) >> 32);
        }
        return ERROR_SUCCESS;
    });
}

namespace hostwin::detail {
void CloseAllRegistryHandles() {
    std::lock_guard lock(RegistryStore::Get().mutex);
    OpenKeys().clear();
}
size_t OpenRegistryHandles() {
    std::lock_guard lock(RegistryStore::Get().mutex);
    return OpenKeys().size();
}
}  // namespace hostwin::detail
