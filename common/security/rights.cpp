// Rights codecs: the letters and words that the listers print for an
// entry's rights, and the setters that turn single rights on and off.
//
// Two vocabularies: registry keys (ten letters, "Full", "Read", "None") and
// shares (six letters with file and generic forms, "All", "None", "Max").
// The letter tables serve both printing and setting, so a letter always
// means the same bits in either direction.  Only Mask, AceFlags and AceType
// are read or changed here.
#include <cstring>

#include "common/security/account.h"
#include "common/security/rights.h"

namespace {

struct RegistryLetter {
    char letter;  // printed letter
    DWORD bit;    // the key right it stands for
};

// Print order; the same letters are parsed by the registry revoker.
constexpr RegistryLetter kRegistryLetters[] = {
    {'Q', KEY_QUERY_VALUE}, {'W', KEY_SET_VALUE}, {'C', KEY_CREATE_SUB_KEY},
    {'E', KEY_ENUMERATE_SUB_KEYS}, {'N', KEY_NOTIFY}, {'L', KEY_CREATE_LINK},
    {'D', DELETE}, {'R', READ_CONTROL}, {'P', WRITE_DAC}, {'O', WRITE_OWNER},
};

struct ShareRight {
    char letter;        // printed letter
    DWORD fileForm;     // all of these bits present = the right in file form
    DWORD genericForm;  // the one GENERIC_* bit, or 0 when there is none
};

// Print order; indices are what SetShareRight takes.
constexpr ShareRight kShareRights[] = {
    {'R', FILE_GENERIC_READ, GENERIC_READ},
    {'W', FILE_GENERIC_WRITE, GENERIC_WRITE},
    {'X', FILE_GENERIC_EXECUTE, GENERIC_EXECUTE},
    {'D', DELETE, 0},
    {'P', WRITE_DAC, 0},
    {'O', WRITE_OWNER, 0},
};
constexpr int kShareRead = 0, kShareWrite = 1, kShareExecute = 2, kShareDelete = 3;

bool HasAll(DWORD mask, DWORD bits) { return (mask & bits) == bits; }

void AppendAuditMarks(String& text, BYTE aceType, BYTE aceFlags) {
    if (aceType != SYSTEM_AUDIT_ACE_TYPE) return;
    text += "-";
    if (aceFlags & SUCCESSFUL_ACCESS_ACE_FLAG) text += "S";
    if (aceFlags & FAILED_ACCESS_ACE_FLAG) text += "F";
    text += "-";
}

}  // namespace

DWORD RegistryRightBit(char letter) {
    for (const RegistryLetter& row : kRegistryLetters)
        if (row.letter == letter) return row.bit;
    return 0;
}

String Account::RegistryRightsText() const {
    char letters[sizeof kRegistryLetters / sizeof kRegistryLetters[0] + 1];
    size_t used = 0;
    for (const RegistryLetter& row : kRegistryLetters)
        if (Mask & row.bit) letters[used++] = row.letter;
    letters[used] = '\0';

    String text;
    if (std::strcmp(letters, "QWCENLDRPO") == 0)
        text = AceType == ACCESS_DENIED_ACE_TYPE ? "None" : "Full";
    else if (std::strcmp(letters, "QENR") == 0)
        text = "Read";
    else
        text = letters;
    AppendAuditMarks(text, AceType, AceFlags);
    return text;
}

String Account::RegistryEntryText() const {
    String text("(");
    text += RegistryRightsText();
    text += ")";
    return text;
}

String Account::ShareRightsText() const {
    // Each of R, W, X can show twice: once for the file form, once for the
    // generic bit.  Six rights of two forms plus the words fit in 32 bytes.
    char letters[32];
    size_t used = 0;
    for (const ShareRight& right : kShareRights) {
        if (HasAll(Mask, right.fileForm)) letters[used++] = right.letter;
        if (right.genericForm != 0 && (Mask & right.genericForm)) letters[used++] = right.letter;
    }
    letters[used] = '\0';

    String text(letters);
    if (Mask & GENERIC_ALL) {
        if (AceType == ACCESS_DENIED_ACE_TYPE)
            text = "None";
        else
            text += "All";
    }
    if (text == "RWXDPO") text = AceType == ACCESS_DENIED_ACE_TYPE ? "None" : "All";
    AppendAuditMarks(text, AceType, AceFlags);
    if (Mask & MAXIMUM_ALLOWED) text += "Max";
    return text;
}

String Account::ShareEntryText() const {
    String once("(");
    once += ShareRightsText();
    once += ")";
    if ((AceFlags & CONTAINER_INHERIT_ACE) && (AceFlags & OBJECT_INHERIT_ACE)) {
        String twice(once);
        twice += once;
        return twice;
    }
    return once;
}

// A denied entry is the "no access" grant: switching a right on makes it an
// allowed entry holding just that right; switching one off leaves it alone.
void Account::SetRegistryBit(DWORD bit, bool on) {
    if (AceType == ACCESS_DENIED_ACE_TYPE) {
        if (on) {
            AceType = ACCESS_ALLOWED_ACE_TYPE;
            Mask = bit;
        }
        return;
    }
    if (on)
        Mask |= bit;
    else
        Mask &= ~bit;
}

void Account::SetQueryValue(bool on) { SetRegistryBit(KEY_QUERY_VALUE, on); }
void Account::SetSetValue(bool on) { SetRegistryBit(KEY_SET_VALUE, on); }
void Account::SetCreateSubKey(bool on) { SetRegistryBit(KEY_CREATE_SUB_KEY, on); }
void Account::SetEnumerateSubKeys(bool on) { SetRegistryBit(KEY_ENUMERATE_SUB_KEYS, on); }
void Account::SetNotify(bool on) { SetRegistryBit(KEY_NOTIFY, on); }
void Account::SetCreateLink(bool on) { SetRegistryBit(KEY_CREATE_LINK, on); }
void Account::SetDelete(bool on) { SetRegistryBit(DELETE, on); }
void Account::SetReadControl(bool on) { SetRegistryBit(READ_CONTROL, on); }
void Account::SetWriteDac(bool on) { SetRegistryBit(WRITE_DAC, on); }
void Account::SetWriteOwner(bool on) { SetRegistryBit(WRITE_OWNER, on); }

// The mask is rebuilt from the recognised rights only: the setter's own
// right as asked, every other right in the form(s) it is held in, then
// collapsed to "all" when six or more forms are present.  Partial file
// forms, GENERIC_ALL and MAXIMUM_ALLOWED do not survive; ACCESS_SYSTEM_SECURITY
// does.  Audit entries are treated like allowed ones (no program edits them).
void Account::SetShareRight(int which, bool on) {
    const bool inherits = (AceFlags & OBJECT_INHERIT_ACE) != 0;
    const ShareRight& own = kShareRights[which];
    const DWORD ownForm = (inherits && own.genericForm != 0) ? own.genericForm : own.fileForm;

    if (AceType == ACCESS_DENIED_ACE_TYPE) {
        if (on) {
            AceType = ACCESS_ALLOWED_ACE_TYPE;
            Mask = ownForm;
        }
        return;
    }

    DWORD rebuilt = 0;
    int count = 0;
    if (on) {
        rebuilt |= ownForm;
        ++count;
    }
    for (int i = 0; i < static_cast<int>(sizeof kShareRights / sizeof kShareRights[0]); ++i) {
        if (i == which) continue;
        const ShareRight& right = kShareRights[i];
        if (HasAll(Mask, right.fileForm)) {
            rebuilt |= right.fileForm;
            ++count;
        }
        if (right.genericForm != 0 && (Mask & right.genericForm)) {
            rebuilt |= right.genericForm;
            ++count;
        }
    }
    if (count >= 6) rebuilt = inherits ? GENERIC_ALL : FILE_ALL_ACCESS;
    if (Mask & ACCESS_SYSTEM_SECURITY) rebuilt |= ACCESS_SYSTEM_SECURITY;
    Mask = rebuilt;
}

void Account::SetShareRead(bool on) { SetShareRight(kShareRead, on); }
void Account::SetShareWrite(bool on) { SetShareRight(kShareWrite, on); }
void Account::SetShareExecute(bool on) { SetShareRight(kShareExecute, on); }
void Account::SetShareDelete(bool on) { SetShareRight(kShareDelete, on); }
