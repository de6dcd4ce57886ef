// Pure calls over the binary security formats: SIDs, access lists, entries
// and security descriptors in absolute and self-relative form.
//
// These calls keep the platform's contract: on failure they return FALSE (or
// 0) and set the thread's last error (ERROR_INVALID_SID, ERROR_INVALID_ACL,
// ERROR_ALLOTTED_SPACE_EXCEEDED, ERROR_INSUFFICIENT_BUFFER,
// ERROR_BAD_DESCRIPTOR_FORMAT, ERROR_INVALID_SECURITY_DESCR,
// ERROR_INVALID_PARAMETER, ...); outputs are written only on success.
// Callers own every buffer they pass; nothing here allocates except
// AllocateAndInitializeSid (released with FreeSid).
#pragma once

#include "platform/errors.h"
#include "platform/types.h"

// SIDs
BOOL IsValidSid(PSID sid);
DWORD GetLengthSid(PSID sid);
BOOL EqualSid(PSID a, PSID b);
BOOL CopySid(DWORD destLength, PSID dest, PSID source);
DWORD GetSidLengthRequired(UCHAR subAuthorityCount);
BOOL InitializeSid(PSID sid, SID_IDENTIFIER_AUTHORITY* authority, BYTE subAuthorityCount);
DWORD* GetSidSubAuthority(PSID sid, DWORD index);
UCHAR* GetSidSubAuthorityCount(PSID sid);
SID_IDENTIFIER_AUTHORITY* GetSidIdentifierAuthority(PSID sid);
BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD s0, DWORD s1,
                              DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid);
PVOID FreeSid(PSID sid);

// Access lists
BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision);
BOOL IsValidAcl(PACL acl);
BOOL AddAce(PACL acl, DWORD revision, DWORD startingIndex, LPVOID aceList, DWORD aceListLength);
BOOL GetAce(PACL acl, DWORD index, LPVOID* ace);
BOOL DeleteAce(PACL acl, DWORD index);
BOOL GetAclInformation(PACL acl, LPVOID info, DWORD length, ACL_INFORMATION_CLASS infoClass);
BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid);
BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid);
BOOL AddAccessDeniedAce(PACL acl, DWORD revision, DWORD mask, PSID sid);
BOOL AddAccessDeniedAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid);
BOOL AddAuditAccessAceEx(PACL acl, DWORD revision, DWORD flags, DWORD mask, PSID sid,
                         BOOL auditSuccess, BOOL auditFailure);

// Security descriptors
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision);
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR sd);
DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR sd);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, SECURITY_DESCRIPTOR_CONTROL* control,
                                  LPDWORD revision);
BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, SECURITY_DESCRIPTOR_CONTROL bitsOfInterest,
                                  SECURITY_DESCRIPTOR_CONTROL bitsToSet);
BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID* owner, LPBOOL defaulted);
BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID owner, BOOL defaulted);
BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID* group, LPBOOL defaulted);
BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID group, BOOL defaulted);
BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, LPBOOL present, PACL* dacl, LPBOOL defaulted);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL dacl, BOOL defaulted);
BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, LPBOOL present, PACL* sacl, LPBOOL defaulted);
BOOL SetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, BOOL present, PACL sacl, BOOL defaulted);
BOOL MakeAbsoluteSD(PSECURITY_DESCRIPTOR selfRelative, PSECURITY_DESCRIPTOR absolute, LPDWORD absoluteSize,
                    PACL dacl, LPDWORD daclSize, PACL sacl, LPDWORD saclSize, PSID owner,
                    LPDWORD ownerSize, PSID group, LPDWORD groupSize);
BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR selfRelative, LPDWORD length);
