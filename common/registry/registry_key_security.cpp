// RegistryConnection, RegistryKeySecurity and the privilege switches.
//
// The registry calls return their result code and leave the thread's last
// error alone; every failure path here copies the code into the last error
// before returning, which is what lets programs print SystemErrorText(-1).
#include "common/registry/registry_key_security.h"

#include <cstdlib>

#include "common/frame/error_text.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/token.h"

namespace {

// Opening with the right to read the SACL too; without the audit privilege
// the open is refused with ERROR_PRIVILEGE_NOT_HELD and KEY_READ alone is
// used instead.
constexpr REGSAM kReadWithAudit = KEY_READ | ACCESS_SYSTEM_SECURITY;

const char* const kAdminPrivileges[] = {
    "SeTcbPrivilege", "SeSecurityPrivilege", "SeRestorePrivilege", "SeBackupPrivilege",
    "SeTakeOwnershipPrivilege",
};

}  // namespace

RegistryConnection::RegistryConnection() = default;

RegistryConnection::~RegistryConnection() { CloseRoot(); }

void RegistryConnection::CloseRoot() {
    if (root != nullptr) RegCloseKey(root);
    root = nullptr;
}

bool RegistryConnection::Connect(const char* serverName, HKEY predefinedRoot) {
    CloseRoot();
    server = "";
    if (serverName == nullptr) {
        root = predefinedRoot;
        return true;
    }
    HKEY remote = nullptr;
    LSTATUS status = RegConnectRegistryA(serverName, predefinedRoot, &remote);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        errorText = SystemErrorText(LastErrorCode);
        return false;
    }
    root = remote;
    server = serverName;
    return true;
}

RegistryKeySecurity::RegistryKeySecurity() = default;

RegistryKeySecurity::~RegistryKeySecurity() { Clear(); }

void RegistryKeySecurity::ReadPart(HKEY key, SECURITY_INFORMATION part, DescriptorSlot& slot) {
    DWORD size = 0;
    const LSTATUS sizing = RegGetKeySecurity(key, part, slot.descriptor, &size);
    BYTE* buffer = static_cast<BYTE*>(std::malloc(size ? size : 1));
    LSTATUS status = buffer ? RegGetKeySecurity(key, part, buffer, &size)
                            : static_cast<LSTATUS>(ERROR_NOT_ENOUGH_MEMORY);
    // A refusal reported by the sizing call is the real reason; the second
    // call's complaint about an empty buffer would only hide it.
    if (status == static_cast<LSTATUS>(ERROR_INSUFFICIENT_BUFFER) && sizing != ERROR_SUCCESS &&
        sizing != static_cast<LSTATUS>(ERROR_INSUFFICIENT_BUFFER))
        status = sizing;
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        slot.LastError = static_cast<DWORD>(status);
        std::free(buffer);
        slot.descriptor = nullptr;
        return;
    }
    slot.descriptor = buffer;
}

bool RegistryKeySecurity::Load(HKEY rootKey, const char* path) {
    Clear();
    root = rootKey;
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(root, path, 0, kReadWithAudit, &key);
    if (status == static_cast<LSTATUS>(ERROR_PRIVILEGE_NOT_HELD))
        status = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    ReadPart(key, OWNER_SECURITY_INFORMATION, OwnerSlot);
    ReadPart(key, DACL_SECURITY_INFORMATION, DaclSlot);
    ReadPart(key, SACL_SECURITY_INFORMATION, SaclSlot);
    RegCloseKey(key);
    ObjectName = path;
    return MakeAbsolute();
}

bool RegistryKeySecurity::Open(const RegistryConnection& connection, const char* path) {
    const bool loaded = Load(connection.Root(), path);
    const char* server = connection.Server().Text();
    // \\server is how users type it; look-ups want the bare name.
    if (server[0] == '\\') server += server[1] != '\0' ? 2 : 1;
    ServerName = server;
    return loaded;
}

bool RegistryKeySecurity::WriteDacl() {
    if (root == nullptr || DaclSlot.descriptor == nullptr) return false;
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(root, ObjectName.Text(), 0, WRITE_DAC, &key);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    CanonicalizeDacl();
    status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, DaclSlot.descriptor);
    if (status != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(status));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool RegistryKeySecurity::WriteOwner() {
    if (root == nullptr || OwnerSlot.descriptor == nullptr) return false;
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(root, ObjectName.Text(), 0, WRITE_OWNER, &key);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    status = RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, OwnerSlot.descriptor);
    if (status != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(status));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool EnablePrivilege(const char* privilegeName) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    LUID value{};
    if (!LookupPrivilegeValueA(nullptr, privilegeName, &value)) {
        DWORD code = GetLastError();
        CloseHandle(token);
        SetLastError(code);
        return false;
    }
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = value;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &wanted, sizeof wanted, nullptr, nullptr);
    // Success of the call says nothing: a privilege the account lacks is
    // reported through the last error (ERROR_NOT_ALL_ASSIGNED).
    const DWORD code = GetLastError();
    CloseHandle(token);
    SetLastError(code);
    return code == ERROR_SUCCESS;
}

void EnableAdminPrivileges() {
    for (const char* name : kAdminPrivileges) EnablePrivilege(name);
}
