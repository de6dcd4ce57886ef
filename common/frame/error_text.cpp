// The fixed table behind SystemErrorText.
//
// Texts are reproduced exactly as users and scripts of the suite have always
// seen them, including the odd ones ("CRC err.", "Device no partitioned.");
// codes that share a row share a text.  Only "Unknown error" has no period.
#include "common/frame/error_text.h"

#include "common/foundation/string.h"
#include "platform/errors.h"

#include <cstdio>

namespace {

struct ErrorRow {
    DWORD code;        // system error code
    const char* text;  // what the user reads after "<code>: "
};

const ErrorRow errorRows[] = {
    {ERROR_SUCCESS, ""},
    {ERROR_INVALID_FUNCTION, "Invalid function."},
    {ERROR_FILE_NOT_FOUND, "File not found."},
    {ERROR_PATH_NOT_FOUND, "File not found."},
    {ERROR_INVALID_DRIVE, "File not found."},
    {ERROR_BAD_UNIT, "File not found."},
    {ERROR_ACCESS_DENIED, "Access denied."},
    {ERROR_NETWORK_ACCESS_DENIED, "Access denied."},
    {ERROR_INVALID_HANDLE, "Invalid handle."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory."},
    {ERROR_WRITE_PROTECT, "Write protected."},
    {ERROR_NOT_READY, "Not ready."},
    {ERROR_CRC, "CRC err."},
    {ERROR_SECTOR_NOT_FOUND, "Sector not found."},
    {ERROR_SHARING_VIOLATION, "Sharing violation."},
    {ERROR_LOCK_VIOLATION, "Sharing violation."},
    {ERROR_HANDLE_EOF, "End of file reached."},
    {ERROR_HANDLE_DISK_FULL, "Disk full."},
    {ERROR_NOT_SUPPORTED, "Not supported."},
    {ERROR_BAD_NETPATH, "Network path not found."},
    {ERROR_BROKEN_PIPE, "Broken pipe."},
    {ERROR_INSUFFICIENT_BUFFER, "Insufficient buffer."},
    {ERROR_BAD_PATHNAME, "The specified path is invalid."},
    {ERROR_ALREADY_EXISTS, "File already exists."},
    {ERROR_END_OF_MEDIA, "End of media."},
    {ERROR_FILEMARK_DETECTED, "Filemark detected."},
    {ERROR_BEGINNING_OF_MEDIA, "Beginning of media."},
    {ERROR_SETMARK_DETECTED, "Setmark detected."},
    {ERROR_NO_DATA_DETECTED, "No data."},
    {ERROR_PARTITION_FAILURE, "Partition failure."},
    {ERROR_INVALID_BLOCK_LENGTH, "Invalid block length."},
    {ERROR_DEVICE_NOT_PARTITIONED, "Device no partitioned."},
    {ERROR_UNABLE_TO_LOCK_MEDIA, "Unable to lock media."},
    {ERROR_UNABLE_TO_UNLOAD_MEDIA, "Unable to unload media."},
    {ERROR_MEDIA_CHANGED, "Media changed."},
    {ERROR_BUS_RESET, "Bus reset."},
    {ERROR_NO_MEDIA_IN_DRIVE, "No media in drive."},
    {ERROR_INVALID_OWNER, "Invalid owner."},
    {ERROR_PRIVILEGE_NOT_HELD, "A required privilege is not held by the client."},
    {ERROR_INVALID_ACCOUNT_NAME, "The name provided is not a properly formed account name."},
    {ERROR_NO_SUCH_USER, "The specified user does not exist."},
    {ERROR_INVALID_SID, "Invalid SID."},
    {ERROR_ALLOTTED_SPACE_EXCEEDED, "Allotted space exceeded."},
    {ERROR_INVALID_USER_BUFFER, "Invalid user buffer."},
};

const char* TextForCode(DWORD code) {
    for (const ErrorRow& row : errorRows) {
        if (row.code == code) return row.text;
    }
    return "Unknown error";
}

// The shared result; constructed before main and released with the other
// static objects of the frame.
String errorText;

}  // namespace

const char* SystemErrorText(DWORD code) {
    if (code == LastErrorCode) code = GetLastError();
    char digits[16];  // 4294967295 is ten digits
    std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(code));
    errorText = digits;
    errorText += ": ";
    errorText += TextForCode(code);
    return errorText.Text();
}
