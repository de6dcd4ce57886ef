// Rights codecs: the vocabularies between access masks and the rights
// letters users read and type.
//
// The printing side and the single-right setters are operations of Account
// (account.h: RegistryRightsText, ShareEntryText, SetDelete, SetShareRead,
// ...), because they read and change only an Account's rights part.  This
// header adds the parsing direction for the registry letters, driven by the
// same table as the printing, so a letter means the same bits both ways.
#pragma once

#include "platform/types.h"

// The key right a registry rights letter (Q W C E N L D R P O, upper case)
// stands for; 0 for any other character.
DWORD RegistryRightBit(char letter);
