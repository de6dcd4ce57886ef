// Registry access: which registry and root a run works on, one key's
// security read from and written to it, and the privileges the lister
// enables at start.
//
// Guarantees:
//   1. A RegistryConnection owns its root handle (closed on destruction or
//      reconnection); RegistryKeySecurity only borrows it and must not
//      outlive the connection.
//   2. Keys are opened for one operation and closed after it; nothing but
//      the connection's root stays open between keys.
//   3. Every failing registry call leaves its result code as the thread's
//      last error, so callers print it with SystemErrorText.  The only
//      false results without a stored code are the writes refused because
//      nothing was loaded.
//   4. A key that opens always loads: a part that cannot be read (typically
//      the SACL without the audit privilege) leaves its slot empty with the
//      code in the slot's LastError.
#pragma once

#include "common/foundation/array.h"
#include "common/foundation/string.h"
#include "common/security/secure_object.h"
#include "platform/types.h"

class RegistryConnection {
public:
    RegistryConnection();
    RegistryConnection(const RegistryConnection&) = delete;
    RegistryConnection& operator=(const RegistryConnection&) = delete;
    ~RegistryConnection();

    // Binds a predefined root, locally (server absent) or on the server as
    // typed.  On failure ErrorText holds SystemErrorText of the code.
    bool Connect(const char* server, HKEY predefinedRoot);
    // The direct subkeys of path in enumeration order: a new owning Array
    // of String the caller destroys, or nullptr when the key cannot be
    // opened for enumeration or queried (last error set).
    Array* EnumerateSubkeys(const char* path);

    HKEY Root() const { return root; }
    const String& Server() const { return server; }
    const String& ErrorText() const { return errorText; }

private:
    void CloseRoot();

    String errorText;      // "code: text" of the last Connect failure; "" until one
    String server;         // server as typed after "-s"; "" for the local registry
    HKEY root = nullptr;   // predefined handle, or the remote connection's; none before Connect
};

class RegistryKeySecurity : public SecureObject {
public:
    RegistryKeySecurity();
    ~RegistryKeySecurity();

    // Load through the connection, then take over its server name (without
    // a leading \\) for account look-ups.
    bool Open(const RegistryConnection& connection, const char* path);
    // Reads owner, DACL and SACL of the key below root into their slots
    // and makes them absolute.  False when the key cannot be opened or a
    // conversion fails.
    bool Load(HKEY rootKey, const char* path);
    // Writes the DACL back in canonical order.
    bool WriteDacl();
    // Writes the owner back.
    bool WriteOwner();

private:
    void ReadPart(HKEY key, SECURITY_INFORMATION part, DescriptorSlot& slot);

    HKEY root = nullptr;  // borrowed from the connection, never closed here
};

// Enables one privilege in the process token; false when the account does
// not hold it or any step fails.
bool EnablePrivilege(const char* privilegeName);
// Enables the five administrative privileges the lister may use; those the
// account does not hold are passed over.
void EnableAdminPrivileges();
