// The built-in catalogue: its integrity, the texts other components quote, the library path
// and the behaviour when no message library can be loaded.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "arc_messages.h"

namespace {

// A locale directory that holds no language library.
constexpr const char* kNoLibraryDir = "/nonexistent/qel-messages-test/locale";

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override { ArcMSGS_Reset(); }
    void TearDown() override { ArcMSGS_Reset(); }

    static ArcMsgRow Row(int index) {
        ArcMsgRow row;
        EXPECT_EQ(ArcMSGS_GetText(index, &row), 0) << "index " << index;
        return row;
    }
    static std::string Fallback(const ArcMsgRow& row) {
        return "Unable to find message number (" + std::to_string(row.number) + ")";
    }
};

TEST_F(Catalogue, RowsAreConsistent) {
    ArcMSGS_SetPath(kNoLibraryDir, "enu");
    const std::set<uint32_t> categories = {1, 2, 4, 8, 16};
    const std::set<uint32_t> destinations = {1, 2, 3, 5, 7};
    int64_t previous = -1;
    for (int index = 0; index < ARC_MSG_COUNT; ++index) {
        ArcMsgRow row = Row(index);
        SCOPED_TRACE("index " + std::to_string(index));
        EXPECT_GT(static_cast<int64_t>(row.number), previous) << "numbers must ascend";
        previous = row.number;
        EXPECT_LE(row.number, 7534u);
        EXPECT_EQ(row.eventId & 0xFFFFu, row.number);
        EXPECT_EQ(row.eventId & 0x3FFF0000u, 0u);
        uint32_t type = row.eventId & 0xC0000000u;
        switch (row.severity) {
            case '1':
            case '2': EXPECT_EQ(type, ARC_MSG_TYPE_ERROR); break;
            case '3': EXPECT_EQ(type, ARC_MSG_TYPE_WARNING); break;
            case '4':
            case '5': EXPECT_EQ(type, ARC_MSG_TYPE_INFORMATION); break;
            default: ADD_FAILURE() << "severity " << row.severity;
        }
        EXPECT_TRUE(categories.count(row.category)) << row.category;
        EXPECT_TRUE(destinations.count(row.destinations)) << row.destinations;
        ASSERT_NE(row.text, nullptr);
    }
    EXPECT_EQ(Row(491).number, 2171u);
    EXPECT_EQ(Row(ARC_MSG_COUNT - 1).number, 7534u);
}

TEST_F(Catalogue, QuotedMessagesCarryTheirExactText) {
    struct Quoted {
        int index;
        int number;  // -1 where no external number is quoted
        const char* text;
    };
    const Quoted quoted[] = {
        {6, -1, "Unable to store data to cache because there is no cache defined"},
        {7, -1, "Object >%1$s< in Application Group >%2$s< not found in cache, no other storage defined"},
        {10, -1,
         "Unable to perform action because this server is cache only and does not support the Storage "
         "Management Subsystem"},
        {12, -1, "Login: %1$s"},
        {13, -1, "Failed login: %1$s"},
        {14, -1, "Logoff"},
        {15, -1, "Logoff Timeout"},
        {18, -1, "User Update: Userid(%1$s) Id(%2$s)"},
        {19, -1, "User Update with new Password: Userid(%1$s) Id(%2$s)"},
        {20, -1, "User Failed Update with new Password: Userid(%1$s) Id(%2$s)"},
        {47, 65,
         "ApplGroup Query: Name(%1$s) Agid(%2$s) Sql(%3$s) SqlR(%4$s) TextSearch( %5$s) AnnColor(%6$s) "
         "AnnText(%7$s)"},
        {48, 66,
         "ApplGroup DocGet: Name(%1$s) Agid(%2$s) ApplName(%3$s) Aid(%4$s) NodeName(%5$s) Nid(%6$s) "
         "Server(%7$s) Time(%8$s) Flds(%9$s)"},
        {49, 67, "ApplGroup ResGet: Name(%1$s) Agid(%2$s) NodeName(%3$s) Nid(%4$s) Server(%5$s) Time(%6$s)"},
        {50, -1, "Annotation Add: Name(%1$s) Agid(%2$s)"},
        {51, -1, "Annotation Id Add: Id(%1$s) Name(%2$s) Agid(%3$s)"},
        {62, 80, "ApplGroup DocUpdate: Name(%1$s) Agid(%2$s) OrigFlds(%3$s) UpdFlds(%4$s)"},
        {63, -1,
         "ApplGroup ObjRetrieve: Name(%1$s) Agid(%2$s) ObjName(%3$s) NodeName(%4$s) Nid(%5$s) Server(%6$s) "
         "Off(%7$s) Len(%8$s) Time(%9$s)"},
        {64, -1,
         "ApplGroup ObjStore: Name(%1$s) Agid(%2$s) NodeName(%3$s) Nid(%4$s) Server(%5$s) ObjName(%6$s) "
         "Time(%7$s)"},
        {65, 83,
         "ApplGroup ObjStore Append: Name(%1$s) Agid(%2$s) NodeName(%3$s) Nid(%4$s) Server(%5$s) "
         "ObjName(%6$s) CompOff(%7$s) CompLen(%8$s)"},
        {68, -1, "ApplGroup Load DB: Name(%1$s) Agid(%2$s) Rows(%3$s)"},
        {72, -1, "BulkProcess: Time(%1$s)"},
        {73, -1, "BulkPrint: Time(%1$s)"},
        {84, -1, "popen failed for command >%1$s<.  errno=%2$s"},
        {85, -1, "pclose failed for command >%1$s<.  errno=%2$s"},
        {86, -1, "Unlink failed for file >%1$s<.  errno=%2$s"},
        {94, -1, "Unable to open file >%1$s<.  errno=%2$s"},
        {95, -1, "Unable to seek within file >%1$s< from %2$s to %3$s.  errno=%4$s"},
        {96, -1, "Unable to stat file >%1$s<.  errno=%2$s"},
        {97, -1, "Offset %1$s and length %2$s is larger than the size of the file >%3$s< of %4$s bytes"},
        {98, -1, "Unable to read from file >%1$s<.  errno=%2$s"},
        {99, -1, "Unable to write to file >%1$s<.  errno=%2$s"},
        {101, -1, "Unable to close the file >%1$s<.  errno=%2$s"},
        {109, -1, "No logical place to store object >%1$s<"},
        {110, -1, "No logical place to retrieve object >%1$s<"},
        {117, -1, "BulkPrint Failed"},
        {119, -1, "Unable to fork.  errno=%1$s, File=%2$s, Line=%3$s"},
        {126, -1, "Unable to initialize server environment.  rc=%1$s"},
        {146, 168, "ApplGroup Segment Not Available: Name(%1$s) Agid(%2$s) SegName(%3$s)"},
        {152, -1,
         "User >%1$s< does not have permission to perform the specified action.  File=%2$s, Line=%3$s"},
        {153, -1, "BulkTextSearch Failed"},
        {154, -1, "System call failed for command >%1$s<.  errno=%2$s"},
        {170, -1, "Unable to open directory >%1$s<.  errno=%2$s"},
        {188, -1, "BulkTextSearch: Time(%1$s)"},
        {216, -1, "User >%1$s< does not have permission to perform the specified action"},
        {217, -1, "Unable to allocate enough memory.  File=%1$s, Line=%2$s"},
        {220, -1, "Unable to open the file: %1$s"},
        {230, -1, "Unable to open the %1$s to %2$s iconv converter"},
        {287, -1, "ICONV Conversion failed.  rc=%1$s"},
        {321, -1, "Equal To"},
        {322, -1, "Not Equal To"},
        {323, -1, "Less Than"},
        {324, -1, "LT or Equal"},
        {325, -1, "Greater Than"},
        {326, -1, "GT or Equal"},
        {327, -1, "Between"},
        {328, -1, "Not Between"},
        {329, -1, "In"},
        {330, -1, "Not In"},
        {331, -1, "Like"},
        {332, -1, "Not Like"},
        {333, -1, "T"},
        {334, -1, "D"},
        {335, -1, "M"},
        {336, -1, "Y"},
        {337, -1, "L"},
        {338, -1, "January"},
        {339, -1, "February"},
        {340, -1, "March"},
        {341, -1, "April"},
        {342, -1, "May"},
        {343, -1, "June"},
        {344, -1, "July"},
        {345, -1, "August"},
        {346, -1, "September"},
        {347, -1, "October"},
        {348, -1, "November"},
        {349, -1, "December"},
        {350, -1, "Jan"},
        {351, -1, "Feb"},
        {352, -1, "Mar"},
        {353, -1, "Apr"},
        {354, -1, "May"},
        {355, -1, "Jun"},
        {356, -1, "Jul"},
        {357, -1, "Aug"},
        {358, -1, "Sep"},
        {359, -1, "Oct"},
        {360, -1, "Nov"},
        {361, -1, "Dec"},
        {362, -1, "Sunday"},
        {363, -1, "Monday"},
        {364, -1, "Tuesday"},
        {365, -1, "Wednesday"},
        {366, -1, "Thursday"},
        {367, -1, "Friday"},
        {368, -1, "Saturday"},
        {369, -1, "Sun"},
        {370, -1, "Mon"},
        {371, -1, "Tue"},
        {372, -1, "Wed"},
        {373, -1, "Thu"},
        {374, -1, "Fri"},
        {375, -1, "Sat"},
        {376, -1, "%X %p %Z %A %B %d, %Y"},
        {381, -1, "Change Expired Logon Password"},
        {396, -1, "*** LOGIC ERROR: An unknown message id was returned by the Common Server"},
        {398, -1, "Could not initialize Common Server.  Locale path is '%1$s'"},
        {407, -1, "Dynamic Load Library '%1$s' could not be found"},
        {414, -1, "The server failed while retrieving a document"},
        {422, -1, "The server failed while storing a note"},
        {426, -1, "The server failed while printing"},
        {444, -1, "Only %1$s documents can be listed for this folder"},
        {454, -1, "Unable to retrieve documents"},
        {475, -1, "*** LOGIC ERROR: Invalid segment number"},
        {482, -1, "The server failed while attempting to convert data"},
        {485, -1, "** All **"},
        {486, -1, "The user is not permitted to perform this operation for document '%1$s'"},
        {487, -1, "No documents meet the search criteria"},
        {488, -1, "The document for '%1$s' is not displayable or printable"},
        {489, -1, "The argument '%1$s' is not a valid decimal number"},
        {490, -1, "No arguments specified"},
        {491, 2171, "The argument '%1$s' was not specified"},
        {492, -1, "The function '%1$s' was not found"},
        {493, -1, "The field '%1$s' was not found in this folder"},
        {494, -1, "No mappings exist for the specified folder fields"},
        {496, -1, "The user specified does not have access to any folders"},
        {497, -1, "Unable to initialize environment.  rc=%1$s"},
        {498, -1, "NOTE %1$s: %2$s by %3$s for page %4$s"},
        {499, -1, "%1$s - %2$s"},
        {500, -1, "Private"},
        {501, -1, "Public"},
        {502, -1, "Cannot be copied to another server"},
        {503, -1, "Can be copied to another server"},
        {504, -1, "There are no notes associated with this document"},
        {505, -1, "Select a folder:"},
        {506, -1, "Open"},
        {507, -1, "User logged off!"},
        {508, -1, "Search"},
        {509, -1, "Reset"},
        {510, -1, "Print"},
        {512, -1, "View Document"},
        {513, -1, "View Annotations"},
        {514, -1, "Add Annotation"},
        {515, -1, "Server Print"},
        {516, -1, "Private to user"},
        {517, -1, "Private to group"},
        {518, -1, "Note can be copied to another server"},
        {519, -1, "Save"},
        {520, -1, "Cancel"},
        {521, -1, "At least one document must be selected!"},
        {522, -1, "Documents sent to printer!"},
        {523, -1, "Note added successfully!"},
        {524, -1, "AM"},
        {525, -1, "PM"},
        {526, -1, "Ok"},
        {527, -1, "Document has been updated!"},
        {529, -1, "Unable to exec program >%1$s<.  errno=%2$s"},
        {1596, -1, "White"},
        {1597, -1, "Black"},
        {1598, -1, "Red"},
        {1599, -1, "Blue"},
        {1600, -1, "Green"},
        {1601, -1, "Yellow"},
        {1604, -1, "Grey"},
    };
    ArcMSGS_SetPath(kNoLibraryDir, "enu");
    for (const Quoted& q : quoted) {
        ArcMsgRow row = Row(q.index);
        EXPECT_STREQ(row.text, q.text) << "index " << q.index;
        if (q.number >= 0) {
            EXPECT_EQ(row.number, static_cast<uint32_t>(q.number)) << "index " << q.index;
        }
    }
}

TEST_F(Catalogue, IssuedMessagesTakeTheInsertsTheirCallersPass) {
    struct Issued {
        int index;
        int inserts;
    };
    const Issued issued[] = {
        {121, 1},            // the refused server
        {128, 0},            // issued without inserts
        {138, 4},            // library path, errno, source name, line
        {139, 4},            // library path, exit result, source name, line
        {406, 1},            // the transport's message text
        {408, 0}, {428, 1},  // the minimum password length
        {495, 1},            // the missing variable
        {528, 0},
    };
    ArcMSGS_SetPath(kNoLibraryDir, "enu");
    for (const Issued& i : issued) {
        ArcMsgRow row = Row(i.index);
        EXPECT_EQ(ArcMSGS_CountInserts(row.text), i.inserts) << "index " << i.index << ": " << row.text;
        EXPECT_NE(std::string(row.text), Fallback(row)) << "index " << i.index << " needs a text";
    }
}

TEST_F(Catalogue, IndexOutsideTheTableIsRefused) {
    ArcMsgRow row;
    row.number = 77;
    for (int index : {-1, ARC_MSG_COUNT, -2147483647 - 1, 2147483647}) {
        EXPECT_EQ(ArcMSGS_GetText(index, &row), 1) << index;
    }
    EXPECT_EQ(row.number, 77u) << "a refused index leaves the row alone";
    EXPECT_EQ(ArcMSGS_GetText(0, nullptr), 1);
}

TEST_F(Catalogue, RowsWithoutBuiltInTextFallBackToTheirNumber) {
    ArcMSGS_SetPath(kNoLibraryDir, "enu");
    for (int index : {0, 1404, 1405}) {
        ArcMsgRow row = Row(index);
        EXPECT_EQ(std::string(row.text), Fallback(row)) << "index " << index;
    }
    // The external number, not the event identifier with its type bits.
    EXPECT_EQ(std::string(Row(0).text), "Unable to find message number (0)");
}

TEST_F(Catalogue, LibraryPathFromDirectoryAndLanguage) {
    struct Case {
        const char* directory;
        const char* language;
        const char* expected;
    };
    const Case cases[] = {
        {"/opt/qel/locale", "ENU", "/opt/qel/locale/enu/libqellgs32.so"},
        {"/opt/qel/locale/", "deu", "/opt/qel/locale/deu/libqellgs32.so"},
        {"/opt/qel/locale", "english", "/opt/qel/locale/eng/libqellgs32.so"},
        {"/opt/qel/locale", nullptr, "/opt/qel/locale/enu/libqellgs32.so"},
        {"/opt/qel/locale", "", "/opt/qel/locale/enu/libqellgs32.so"},
        {"/", "Fr", "/fr/libqellgs32.so"},
    };
    for (const Case& c : cases) {
        ArcMSGS_SetPath(c.directory, c.language);
        EXPECT_EQ(ArcMSGS_GetPath(), c.expected)
            << c.directory << " " << (c.language ? c.language : "(null)");
    }
}

TEST_F(Catalogue, UnusableDirectoryOrLanguageFailsToLoad) {
    const std::string longDirectory = "/" + std::string(5000, 'd');
    struct Case {
        const char* name;
        const char* directory;
        const char* language;
    };
    const Case cases[] = {
        {"missing directory", kNoLibraryDir, "enu"},
        {"language climbing out", "/tmp", "../x"},
        {"language with a slash", "/tmp", "a/b"},
        {"relative directory", "locale", "enu"},
        {"directory longer than a path", longDirectory.c_str(), "enu"},
    };
    for (const Case& c : cases) {
        ArcMSGS_Reset();
        EXPECT_EQ(ArcMSGS_Init(c.directory, c.language), 1) << c.name;
    }
}

TEST_F(Catalogue, EnglishKeepsBuiltInTextsOtherLanguagesClearThem) {
    ArcMSGS_SetPath(kNoLibraryDir, "ENU");
    EXPECT_STREQ(Row(491).text, "The argument '%1$s' was not specified");

    ArcMSGS_SetPath(kNoLibraryDir, "deu");
    ArcMsgRow row = Row(491);
    EXPECT_EQ(std::string(row.text), "Unable to find message number (2171)");

    ArcMSGS_SetPath(kNoLibraryDir, "enu");
    EXPECT_STREQ(Row(491).text, "The argument '%1$s' was not specified");
}

TEST_F(Catalogue, RetryAfterAFailedLoadKeepsTheConfiguredPath) {
    EXPECT_EQ(ArcMSGS_Init(kNoLibraryDir, "deu"), 1);
    const std::string configured = ArcMSGS_GetPath();
    ArcMsgRow row = Row(12);  // retries the load
    EXPECT_EQ(std::string(row.text), Fallback(row));
    EXPECT_EQ(ArcMSGS_GetPath(), configured);
    EXPECT_EQ(ArcMSGS_Init(kNoLibraryDir, "deu"), 1) << "still nothing to load";
}

TEST_F(Catalogue, NoDirectoryMeansTheInstallLocaleDirectory) {
    ArcMSGS_SetPath(nullptr, "xyz");
    const std::string path = ArcMSGS_GetPath();
    const std::string tail = "/locale/xyz/libqellgs32.so";
    ASSERT_GE(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
    EXPECT_EQ(path[0], '/');
}

TEST_F(Catalogue, ConcurrentReadersSeeOneTextPerRow) {
    ArcMSGS_SetPath(kNoLibraryDir, "deu");
    std::vector<std::vector<const char*>> seen(4);
    std::vector<std::thread> threads;
    for (auto& texts : seen) {
        threads.emplace_back([&texts] {
            for (int index = 0; index < 200; ++index) {
                ArcMsgRow row;
                texts.push_back(ArcMSGS_GetText(index, &row) == 0 ? row.text : nullptr);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (size_t t = 1; t < seen.size(); ++t) EXPECT_EQ(seen[t], seen[0]);
    for (const char* text : seen[0]) EXPECT_NE(text, nullptr);
}

// With a library loaded, a change of path makes every row without a built-in text read its
// text again; a row keeps its text between path changes.
TEST_F(Catalogue, PathChangesReadLibraryTextsAgain) {
    auto text = [](int index) {
        ArcMsgRow row = Row(index);
        char expected[64];
        std::snprintf(expected, sizeof expected, "event %08X call ", row.eventId);
        const std::string got = row.text;
        EXPECT_EQ(got.rfind(expected, 0), 0u) << "index " << index << ": " << got;
        return got.substr(std::strlen(expected));  // the call number
    };
    ASSERT_EQ(ArcMSGS_Init(QEL_COUNTING_LOCALE_DIR, "cnt"), 0);
    EXPECT_EQ(text(14), "1");
    EXPECT_EQ(text(14), "1") << "kept, not read again";
    EXPECT_EQ(text(0), "2");

    ArcMSGS_SetPath(QEL_COUNTING_LOCALE_DIR, "enu");
    EXPECT_STREQ(Row(14).text, "Logoff") << "English shows the built-in text";
    EXPECT_EQ(text(0), "3") << "a row without a built-in text is read again";
    EXPECT_EQ(text(0), "3");

    ArcMSGS_SetPath(QEL_COUNTING_LOCALE_DIR, "cnt");
    EXPECT_EQ(text(14), "4");
    EXPECT_EQ(text(0), "5");
    EXPECT_EQ(text(14), "4");

    ArcMSGS_Reset();
    EXPECT_STREQ(Row(14).text, "Logoff") << "the reset brings the built-in texts back";
}

}  // namespace
