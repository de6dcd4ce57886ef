// Subkey listing and the depth-first walk over a key tree.
//
// The walk holds one subkey list per level and lists a key's subkeys only
// after its step has run, through a fresh open: a step that changed the
// key's security therefore also decides whether its subtree can be listed.
#include "common/registry/subkey_walker.h"

#include <cstdlib>
#include <new>

#include "platform/registry.h"

Array* RegistryConnection::EnumerateSubkeys(const char* path) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &key);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return nullptr;
    }
    DWORD subkeyCount = 0, longestName = 0;
    status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeyCount, &longestName, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        RegCloseKey(key);
        return nullptr;
    }
    Array* list = new (std::nothrow) Array(subkeyCount, 1);
    char* name = static_cast<char*>(std::malloc(longestName + 1));
    if (list == nullptr || name == nullptr) {
        delete list;
        std::free(name);
        RegCloseKey(key);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Subkeys added after the query would not fit the list; they are left
    // out like names that fail to enumerate, rather than overflow it.
    const DWORD room = list->Capacity();
    for (DWORD index = 0;; ++index) {
        DWORD length = longestName + 1;
        FILETIME lastWrite{};
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, &lastWrite) !=
                ERROR_SUCCESS ||
            index >= room)
            break;
        String* entry = new (std::nothrow) String(name);
        if (entry == nullptr) break;
        list->Append(entry);
    }
    RegCloseKey(key);
    std::free(name);
    return list;
}

std::int32_t WalkSubkeys(RegistryConnection& connection, const String& path, bool recurse,
                         KeyStep step, void* context) {
    if (!step(connection, path, context)) return 1;
    if (!recurse) return 1;
    Array* subkeys = connection.EnumerateSubkeys(path.Text());
    if (subkeys == nullptr) return 1;

    std::int32_t count = 1;
    const std::int32_t last = subkeys->LastIndex();
    for (std::int32_t i = 0; i <= last; ++i) {
        const String* name = static_cast<const String*>(subkeys->Get(i));
        String child(path);
        if (path.Length() > 0) child += "\\";
        child += *name;
        count += WalkSubkeys(connection, child, recurse, step, context);
    }
    delete subkeys;
    return count;
}
