// The fixed table of system error texts and the reading of the last error.
#include "common/frame/error_text.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ErrorCase {
    DWORD code;            // code passed in
    const char* expected;  // the whole returned text
};

TEST(SystemErrorText, EveryRowOfTheTable) {
    const ErrorCase cases[] = {
        {0, "0: "},
        {1, "1: Invalid function."},
        {2, "2: File not found."},
        {3, "3: File not found."},
        {15, "15: File not found."},
        {20, "20: File not found."},
        {5, "5: Access denied."},
        {65, "65: Access denied."},
        {6, "6: Invalid handle."},
        {8, "8: Not enough memory."},
        {19, "19: Write protected."},
        {21, "21: Not ready."},
        {23, "23: CRC err."},
        {27, "27: Sector not found."},
        {32, "32: Sharing violation."},
        {33, "33: Sharing violation."},
        {38, "38: End of file reached."},
        {39, "39: Disk full."},
        {50, "50: Not supported."},
        {53, "53: Network path not found."},
        {109, "109: Broken pipe."},
        {122, "122: Insufficient buffer."},
        {161, "161: The specified path is invalid."},
        {183, "183: File already exists."},
        {1100, "1100: End of media."},
        {1101, "1101: Filemark detected."},
        {1102, "1102: Beginning of media."},
        {1103, "1103: Setmark detected."},
        {1104, "1104: No data."},
        {1105, "1105: Partition failure."},
        {1106, "1106: Invalid block length."},
        {1107, "1107: Device no partitioned."},
        {1108, "1108: Unable to lock media."},
        {1109, "1109: Unable to unload media."},
        {1110, "1110: Media changed."},
        {1111, "1111: Bus reset."},
        {1112, "1112: No media in drive."},
        {1307, "1307: Invalid owner."},
        {1314, "1314: A required privilege is not held by the client."},
        {1315, "1315: The name provided is not a properly formed account name."},
        {1317, "1317: The specified user does not exist."},
        {1337, "1337: Invalid SID."},
        {1344, "1344: Allotted space exceeded."},
        {1784, "1784: Invalid user buffer."},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_STREQ(SystemErrorText(c.code), c.expected);
    }
}

TEST(SystemErrorText, CodesOutsideTheTableGetTheDefault) {
    // Neighbours of table rows catch an off-by-one lookup; the large values
    // catch signed or padded number writing.
    const ErrorCase cases[] = {
        {4, "4: Unknown error"},
        {7, "7: Unknown error"},
        {87, "87: Unknown error"},
        {1113, "1113: Unknown error"},
        {1316, "1316: Unknown error"},
        {1332, "1332: Unknown error"},
        {2310, "2310: Unknown error"},
        {0x80000000u, "2147483648: Unknown error"},
        {0xFFFFFFFEu, "4294967294: Unknown error"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_STREQ(SystemErrorText(c.code), c.expected);
    }
}

TEST(SystemErrorText, AllOnesReadsTheLastError) {
    const ErrorCase cases[] = {
        {ERROR_FILE_NOT_FOUND, "2: File not found."},
        {ERROR_SUCCESS, "0: "},
        {ERROR_INVALID_PARAMETER, "87: Unknown error"},
        {ERROR_PRIVILEGE_NOT_HELD, "1314: A required privilege is not held by the client."},
        // The last error itself all ones: read once, not again.
        {0xFFFFFFFFu, "4294967295: Unknown error"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.code);
        SetLastError(c.code);
        EXPECT_STREQ(SystemErrorText(LastErrorCode), c.expected);
        EXPECT_STREQ(SystemErrorText(static_cast<DWORD>(-1)), c.expected);
    }
}

TEST(SystemErrorText, ExplicitCodeIgnoresTheLastError) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_STREQ(SystemErrorText(ERROR_BAD_NETPATH), "53: Network path not found.");
}

TEST(SystemErrorText, EachCallReplacesTheLastResult) {
    const std::string first = SystemErrorText(1314);
    const char* second = SystemErrorText(0);
    EXPECT_STREQ(second, "0: ");
    EXPECT_EQ(first, "1314: A required privilege is not held by the client.");
    // A long text followed by a short one must not leave a tail behind.
    EXPECT_STREQ(SystemErrorText(5), "5: Access denied.");
}

}  // namespace
