// The work of quorlent: list the owner, access list and audit list of one
// registry key, or with "-r" of the key and every key below it.
//
// It changes nothing.  Per key it prints the path, the owner line, one
// line per distinct account of the DACL (grouped by display name in the
// dictionary's traversal order, padded to 35 columns, showing the rights
// of the account's last entry) and one line per audit entry; a key that
// cannot be opened gets one error line and is not descended into.  The
// exit status is 1 once the walk ran, 0 when the connection failed.
#include "tools/quorlent/work.h"

#include <cstdio>

#include "common/foundation/array.h"
#include "common/foundation/dictionary.h"
#include "common/foundation/string.h"
#include "common/frame/error_text.h"
#include "common/registry/registry_key_security.h"
#include "common/registry/subkey_walker.h"
#include "common/security/account.h"

namespace {

// Account names are padded to this width before their rights.
constexpr std::int32_t kNameColumn = 35;

void Write(const char* text) { std::fputs(text, stdout); }
void Write(const String& text) { std::fputs(text.Text(), stdout); }

void WriteOwnerLine(const RegistryKeySecurity& key) {
    Account owner = key.GetOwner();
    if (!owner.IsValid()) {
        Write("\towner sid not valid\n");
        return;
    }
    Write("\towner: ");
    Write(owner.DisplayName(DefaultDomain.Text(), true));
    Write("\n");
}

// One line per display name; a later entry of the same account replaces
// the rights an earlier one stored, but keeps the place the first gave it.
void WriteAccessLines(const RegistryKeySecurity& key) {
    Dictionary summary;
    const DWORD count = key.DaclEntryCount();
    for (DWORD i = 0; i < count; ++i) {
        Account entry = key.GetDaclEntry(i);
        if (!entry.IsValid()) continue;
        String name = entry.DisplayName(DefaultDomain.Text(), true);
        *static_cast<String*>(summary.LookupOrCreate(name)) = entry.RegistryEntryText();
    }
    Array* names = summary.Keys();
    if (names != nullptr) {
        const std::int32_t last = names->LastIndex();
        for (std::int32_t i = 0; i <= last; ++i) {
            const String* name = static_cast<const String*>(names->Get(i));
            const String* rights = static_cast<const String*>(summary.Lookup(*name));
            Write("\t");
            Write(*name);
            Write(Fill(' ', kNameColumn - name->Length()));
            if (rights != nullptr) Write(*rights);
            Write("\n");
        }
        delete names;
    }
    std::fflush(stdout);
}

void WriteAuditLines(const RegistryKeySecurity& key) {
    const DWORD count = key.SaclEntryCount();
    for (DWORD i = 0; i < count; ++i) {
        Account entry = key.GetSaclEntry(i);
        if (!entry.IsValid()) continue;
        Write("\tAUDIT ");
        Write(entry.DisplayName(DefaultDomain.Text(), true));
        Write(": ");
        Write(entry.RegistryEntryText());
        Write("\n");
    }
    if (key.SaclSlot.LastError != 0) {
        Write("\tAUDIT: ");
        Write(SystemErrorText(key.SaclSlot.LastError));
        Write("\n");
    }
}

bool ListKey(RegistryConnection& connection, const String& path, void*) {
    RegistryKeySecurity key;
    if (!key.Open(connection, path.Text())) {
        Write(path);
        Write(": ");
        Write(SystemErrorText(LastErrorCode));
        Write("\n");
        return false;
    }
    Write(path);
    Write("\n");
    std::fflush(stdout);
    WriteOwnerLine(key);
    WriteAccessLines(key);
    WriteAuditLines(key);
    return true;
}

}  // namespace

int QuorlentWork(const ScanResult& scan) {
    const bool recurse = scan.Flag("-r");
    EnableAdminPrivileges();

    RegistryConnection connection;
    if (!connection.Connect(scan.Value("-s"), scan.Root())) {
        Write(connection.ErrorText());
        Write("\n");
        return 0;
    }
    const char* subkey = scan.Positional(0);
    if (subkey[0] == '\\') ++subkey;
    const std::int32_t visited = WalkSubkeys(connection, String(subkey), recurse, ListKey, nullptr);
    if (recurse) std::printf("\nVisited %d keys.\n", static_cast<int>(visited));
    return 1;
}
