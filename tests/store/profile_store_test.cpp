#include "store/profile_store.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/feedback.h"
#include "store/element_record.h"
#include "store/ini_document.h"
#include "support/memory_file_store.h"
#include "support/virtual_time.h"

namespace nms::store {
namespace {

const std::string kPath = "/data/nms.ini";

class ProfileStoreTest : public ::testing::Test {
protected:
    std::string saved() {
        store.flush();
        return files.content(kPath);
    }
    std::vector<std::string> sections() {
        std::vector<std::string> out;
        store.LoadIniSectionsLB(out, kPath);
        return out;
    }
    std::vector<std::string> keys(const std::string& section) {
        std::vector<std::string> out;
        store.LoadIniSectionKeysLB(section, out, kPath);
        return out;
    }

    nms::testing::MemoryFileStore files;
    nms::testing::VirtualTime time;
    ProfileStore store{files, time};
};

// --- names and cases

TEST_F(ProfileStoreTest, KeysAreWrittenUpperCaseAndFoundInAnyCase) {
    store.WriteToINI("001A2B3C4D5E", "name", "STUDIO", kPath);
    EXPECT_EQ(saved(), "[001A2B3C4D5E]\nNAME=STUDIO\n");
    EXPECT_EQ(store.ReadFromINI("001A2B3C4D5E", "name", kPath, "?"), "STUDIO");
    EXPECT_EQ(store.ReadFromINI("001a2b3c4d5e", "NaMe", kPath, "?"), "STUDIO");
    EXPECT_TRUE(store.CheckIfIniKeyExists("001a2b3c4d5e", "NAME", kPath));
}

TEST_F(ProfileStoreTest, SectionNamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
    store.WriteToINI("abc", "k", "1", kPath);
    store.WriteToINI("ABC", "k", "2", kPath);
    EXPECT_EQ(sections(), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(store.ReadFromINI("aBc", "K", kPath, ""), "2");
}

TEST_F(ProfileStoreTest, Latin1LettersMatchWithoutRegardToCase) {
    store.WriteToINI("S", "straße", "x", kPath);
    store.WriteToINI("Élan", "k", "1", kPath);
    EXPECT_EQ(store.ReadFromINI("S", "STRAßE", kPath, ""), "x");
    EXPECT_EQ(store.ReadFromINI("élan", "k", kPath, ""), "1");
}

TEST_F(ProfileStoreTest, AHandWrittenFileIsReadWithMixedCaseBlanksAndCrLf) {
    files.editExternally(kPath, "; made by hand\r\n[Elem]\r\n  Name = x=y \r\n\r\n[Other]\r\nip=10.0.0.1\r\n");
    EXPECT_EQ(store.ReadFromINI("elem", "name", kPath, "?"), " x=y ");
    EXPECT_EQ(store.ReadFromINI("OTHER", "IP", kPath, "?"), "10.0.0.1");
    EXPECT_EQ(store.GetSectionKeyCount("elem", kPath), 1);
}

TEST_F(ProfileStoreTest, StrayCarriageReturnsAtLineEndsAreDropped) {
    files.editExternally(kPath, "[A]\r\r\nK=v\r\r\n\r\n");
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "v");
    store.WriteToINI("A", "j", "1", kPath);
    EXPECT_EQ(saved(), "[A]\nK=v\nJ=1\n\n");
}

// --- order and replacement

TEST_F(ProfileStoreTest, SectionsComeBackInFileOrderAndNewOnesGoLast) {
    files.editExternally(kPath, "[C]\nk=1\n[A]\nk=1\n");
    store.WriteToINI("B", "k", "1", kPath);
    EXPECT_EQ(sections(), (std::vector<std::string>{"C", "A", "B"}));
}

TEST_F(ProfileStoreTest, ASectionNamedTwiceIsAlwaysFoundAtItsFirstPlaceWhateverTheOrderOfReading) {
    files.editExternally(kPath, "[A]\nK=first\n[B]\nK=b\n[a]\nK=second\nONLY=2\n[C]\nK=c\n");
    // Read in file order, section after section, as a tree rebuild reads them.
    for (const char* section : {"A", "B", "a", "C", "A"}) {
        SCOPED_TRACE(section);
        const std::string expected = std::string(section) == "B" ? "b" : std::string(section) == "C" ? "c" : "first";
        EXPECT_EQ(store.ReadFromINI(section, "k", kPath, ""), expected);
    }
    EXPECT_EQ(store.ReadFromINI("a", "only", kPath, "none"), "none");
    EXPECT_EQ(sections(), (std::vector<std::string>{"A", "B", "a", "C"}));
    // Removing the name removes both; a new section of it is found again.
    store.DeleteIniSection("A", kPath);
    store.WriteToINI("B", "k", "b2", kPath);
    store.WriteToINI("A", "k", "new", kPath);
    EXPECT_EQ(store.ReadFromINI("B", "k", kPath, ""), "b2");
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "new");
    EXPECT_EQ(saved(), "[B]\nK=b2\n[C]\nK=c\n[A]\nK=new\n");
}

TEST_F(ProfileStoreTest, ThousandsOfSectionsAreFoundInAnyOrderAndCaseAfterRemovalsAndAdditions) {
    auto name = [](int i) {
        char text[16];
        std::snprintf(text, sizeof text, "001A2B%06X", i);
        return std::string(text);
    };
    std::string file;
    for (int i = 0; i < 3000; ++i) file += "[" + name(i) + "]\nK=" + std::to_string(i) + "\n";
    files.editExternally(kPath, file);
    for (int i = 2999; i >= 0; i -= 7) {
        std::string lower = name(i);
        for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ASSERT_EQ(store.ReadFromINI(lower, "k", kPath, ""), std::to_string(i)) << i;
    }
    EXPECT_EQ(store.ReadFromINI("001A2BFFFFFF", "k", kPath, "none"), "none");
    for (int i = 0; i < 3000; i += 3) store.DeleteIniSection(name(i), kPath);
    for (int i = 3000; i < 4000; ++i) store.WriteToINI(name(i), "k", std::to_string(i), kPath);
    for (int i = 0; i < 4000; i += 11)
        ASSERT_EQ(store.ReadFromINI(name(i), "k", kPath, "gone"), i < 3000 && i % 3 == 0 ? "gone" : std::to_string(i))
            << i;
    EXPECT_EQ(sections().size(), 3000u);
}

TEST_F(ProfileStoreTest, ListingAppendsWithoutClearing) {
    store.WriteToINI("A", "k", "1", kPath);
    std::vector<std::string> list{"kept"};
    store.LoadIniSectionsLB(list, kPath);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", "A"}));
}

TEST_F(ProfileStoreTest, AWriteReplacesInPlaceAndANewKeyGoesToTheEndOfItsSection) {
    files.editExternally(kPath, "[A]\nX=1\nY=2\n\n[B]\nZ=3\n");
    store.WriteToINI("a", "x", "10", kPath);
    store.WriteToINI("a", "w", "4", kPath);
    EXPECT_EQ(saved(), "[A]\nX=10\nY=2\nW=4\n\n[B]\nZ=3\n");
    EXPECT_EQ(keys("A"), (std::vector<std::string>{"X", "Y", "W"}));
}

TEST_F(ProfileStoreTest, DeletingRemovesTheKeyOrTheWholeSection) {
    files.editExternally(kPath, "[A]\nX=1\nY=2\n[B]\nZ=3\n[C]\nQ=1\n");
    store.DeleteIniKey("a", "y", kPath);
    store.DeleteIniSection("b", kPath);
    EXPECT_EQ(saved(), "[A]\nX=1\n[C]\nQ=1\n");
    store.DeleteIniSection("missing", kPath);
    store.DeleteIniKey("A", "missing", kPath);
    EXPECT_EQ(saved(), "[A]\nX=1\n[C]\nQ=1\n");
}

// --- missing file, empty values, counts

TEST_F(ProfileStoreTest, AMissingFileReadsAsEmpty) {
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, "dflt"), "dflt");
    EXPECT_EQ(store.ReadFromINI("A", "k", kPath, ""), "");
    EXPECT_TRUE(sections().empty());
    EXPECT_EQ(store.GetSectionKeyCount("A", kPath), 0);
    EXPECT_FALSE(store.CheckIfIniSectionExists("A", kPath));
    EXPECT_FALSE(store.fileExists(kPath));
    EXPECT_TRUE(store.flush());
    EXPECT_FALSE(files.exists(kPath)) << "reading must not create the file";
}

TEST_F(ProfileStoreTest, AWriteToAMissingFileCreatesIt) {
    store.WriteToINI("A", "k", "v", kPath);
    EXPECT_TRUE(store.fileExists(kPath));
    EXPECT_EQ(saved(), "[A]\nK=v\n");
}

TEST_F(ProfileStoreTest, AnEmptyValueExistsAndIsNotTheDefault) {
    store.WriteToINI("A", "key", "", kPath);
    EXPECT_EQ(saved(), "[A]\nKEY=\n");
    EXPECT_TRUE(store.CheckIfIniKeyExists("A", "key", kPath));
    EXPECT_FALSE(store.CheckIfIniKeyExists("A", "other", kPath));
    EXPECT_EQ(store.ReadFromINI("A", "key", kPath, "dflt"), "");
}

TEST_F(ProfileStoreTest, KeyCountCountsEntriesOnly) {
    std::string text = "[E]\n; note\n\n";
    for (int i = 0; i < 20; ++i) text.append("K").append(std::to_string(i)).append("=").append(std::to_string(i)).append("\n");
    files.editExternally(kPath, text + "[Empty]\n");
    EXPECT_EQ(store.GetSectionKeyCount("e", kPath), 20);
    EXPECT_EQ(store.GetSectionKeyCount("empty", kPath), 0);
    EXPECT_TRUE(store.CheckIfIniSectionExists("E", kPath));
    EXPECT_FALSE(store.CheckIfIniSectionExists("Empty", kPath)) << "a section without entries counts as missing";
}

TEST_F(ProfileStoreTest, TrailingBlanksOfAValueSurvive) {
    store.WriteToINI("A", "name", "STUDIO          ", kPath);
    EXPECT_EQ(store.ReadFromINI("A", "name", kPath, ""), "STUDIO          ");
    ProfileStore fresh{files, time};
    store.flush();
    EXPECT_EQ(fresh.ReadFromINI("A", "name", kPath, ""), "STUDIO          ");
}

TEST_F(ProfileStoreTest, ALongValueIsNotCut) {
    const std::string longValue(5000, 'x');
    store.WriteToINI("A", "k", longValue, kPath);
    store.flush();
    ProfileStore fresh{files, time};
    EXPECT_EQ(fresh.ReadFromINI("A", "k", kPath, ""), longValue);
}

// --- numbers

TEST_F(ProfileStoreTest, GetLongReadsTheLeadingDecimalNumber) {
    files.editExternally(kPath,
                         "[A]\nplain=300\nneg=-12\nplus=+7\nlead=  42\ntail=12abc\nword=abc\nempty=\n"
                         "big=99999999999\nsmall=-99999999999\nhex=0x10\n");
    EXPECT_EQ(store.GetLongFromINI("A", "plain", kPath, -1), 300);
    EXPECT_EQ(store.GetLongFromINI("A", "neg", kPath, -1), -12);
    EXPECT_EQ(store.GetLongFromINI("A", "plus", kPath, -1), 7);
    EXPECT_EQ(store.GetLongFromINI("A", "lead", kPath, -1), 42);
    EXPECT_EQ(store.GetLongFromINI("A", "tail", kPath, -1), 12);
    EXPECT_EQ(store.GetLongFromINI("A", "word", kPath, -1), -1);
    EXPECT_EQ(store.GetLongFromINI("A", "empty", kPath, -1), -1);
    EXPECT_EQ(store.GetLongFromINI("A", "big", kPath, -1), 2147483647);
    EXPECT_EQ(store.GetLongFromINI("A", "small", kPath, -1), -2147483647 - 1);
    EXPECT_EQ(store.GetLongFromINI("A", "hex", kPath, -1), 0);
    EXPECT_EQ(store.GetLongFromINI("A", "missing", kPath, 5), 5);
    EXPECT_EQ(store.GetLongFromINI("missing", "plain", kPath, 5), 5);
}

// --- renames

TEST_F(ProfileStoreTest, RenameKeyMovesTheValueToTheNewNameAtTheEnd) {
    files.editExternally(kPath, "[A]\nOLD=v\nB=2\n");
    store.RenameIniKey("A", "old", "new", kPath);
    EXPECT_EQ(saved(), "[A]\nB=2\nNEW=v\n");
    store.RenameIniKey("A", "missing", "other", kPath);
    EXPECT_EQ(saved(), "[A]\nB=2\nNEW=v\n");
}

TEST_F(ProfileStoreTest, RenameKeyToTheSameNameInAnotherCaseKeepsTheKey) {
    files.editExternally(kPath, "[A]\nold=v\nB=2\n");
    store.RenameIniKey("A", "old", "Old", kPath);
    EXPECT_EQ(saved(), "[A]\nOLD=v\nB=2\n");
}

TEST_F(ProfileStoreTest, RenameSectionCopiesWholeValuesAndRemovesTheOld) {
    files.editExternally(kPath, "[A]\nX=a=b=c\nY=\n[B]\nZ=1\n");
    store.RenameIniSection("a", "N", kPath);
    EXPECT_EQ(saved(), "[B]\nZ=1\n[N]\nX=a=b=c\nY=\n");
}

TEST_F(ProfileStoreTest, RenameSectionToItsOwnNameInAnotherCaseKeepsItsEntries) {
    files.editExternally(kPath, "[abc]\nX=1\n[B]\nZ=1\n");
    store.RenameIniSection("abc", "ABC", kPath);
    EXPECT_EQ(saved(), "[ABC]\nX=1\n[B]\nZ=1\n");
}

// --- sanitising

TEST_F(ProfileStoreTest, ControlCharactersInAValueBecomeBlanks) {
    store.WriteToINI("A", "name", std::string("a\rb\nc\0d\te\x7f" "f", 11), kPath);
    store.WriteToINI("A", "next", "1", kPath);
    EXPECT_EQ(saved(), "[A]\nNAME=a b c d e f\nNEXT=1\n");
    EXPECT_EQ(store.ReadFromINI("A", "name", kPath, ""), "a b c d e f");
}

TEST_F(ProfileStoreTest, InvalidUtf8IsStoredAsTheLatin1CharacterOfTheByte) {
    store.WriteToINI("A", "name", "\xe9t\xe9", kPath);  // "été" in Latin-1 bytes
    EXPECT_EQ(store.ReadFromINI("A", "name", kPath, ""), "\xc3\xa9t\xc3\xa9");
}

TEST_F(ProfileStoreTest, NamesThatWouldBreakALineAreMadeHarmless) {
    store.WriteToINI("A\nB", "k=ey", "1", kPath);
    store.WriteToINI("S", "[X]", "2", kPath);
    EXPECT_EQ(saved(), "[A B]\nK EY=1\n[S]\nX]=2\n");
    EXPECT_EQ(store.ReadFromINI("A\nB", "k=ey", kPath, ""), "1");
}

// A key without a name cannot stand in the file ("=value" reads back as no key), so every write
// refuses it and every read finds nothing under it, whatever the file holds.
TEST_F(ProfileStoreTest, AnEmptyKeyNameIsRefusedByWritesAndReadsAsMissing) {
    const std::string before = "[A]\nK=1\n";
    files.editExternally(kPath, before);
    for (const std::string empty : {"", " ", "=", "[", " [ = "}) {
        SCOPED_TRACE("key \"" + empty + "\"");
        store.WriteToINI("A", empty, "x", kPath);
        store.WriteToINI("New", empty, "x", kPath);
        store.DeleteIniKey("A", empty, kPath);
        store.RenameIniKey("A", "k", empty, kPath);
        store.RenameIniKey("A", empty, "other", kPath);
        EXPECT_EQ(saved(), before);
        EXPECT_EQ(store.ReadFromINI("A", empty, kPath, "default"), "default");
        EXPECT_FALSE(store.CheckIfIniKeyExists("A", empty, kPath));
        EXPECT_EQ(store.GetLongFromINI("A", empty, kPath, 7), 7);
    }
}

TEST_F(ProfileStoreTest, AHandWrittenLineWithoutAKeyNameIsKeptButNamesNoEntry) {
    files.editExternally(kPath, "[a]\n=x\n = y\nK=1\n");
    EXPECT_EQ(keys("a"), (std::vector<std::string>{"K"}));
    EXPECT_EQ(store.GetSectionKeyCount("a", kPath), 1);
    EXPECT_EQ(store.ReadFromINI("a", "", kPath, "default"), "default");
    store.WriteToINI("a", "k", "2", kPath);
    EXPECT_EQ(saved(), "[a]\n=x\n = y\nK=2\n") << "the line stays as it stood";
    // Renaming copies entries only: the nameless line has nothing to be copied under.
    store.RenameIniSection("a", "b", kPath);
    EXPECT_EQ(saved(), "[b]\nK=2\n");
}

// A section renamed to a name an earlier section already has is the second of that name: reads
// find the first, also when they go through the records in file order.
TEST(IniDocumentTest, ASectionRenamedToAnEarlierNameIsNeverTheOneFound) {
    auto doc = IniDocument::parse("[B]\nK=b\n[A]\nK=a\n[C]\nK=c\n");
    ASSERT_TRUE(doc.renameSectionInPlace("C", "B"));
    ASSERT_NE(doc.find("A"), nullptr);  // the reader now stands just before the second B
    ASSERT_NE(doc.find("B", "K"), nullptr);
    EXPECT_EQ(doc.find("B", "K")->value(), "b");
}

// The whole database stays in memory while the station runs: a record read from the file costs
// little more than its text, and a short line no allocation of its own.
TEST(IniDocumentTest, ARecordReadFromTheFileTakesUnderAKilobyte) {
    constexpr int kRecords = 6000;
    std::string text;
    char line[64];
    for (int i = 0; i < kRecords; ++i) {
        const bool decoder = i % 3 == 0;
        std::snprintf(line, sizeof line, "[001A2B%06X]\nNAME=ELEMENT %-8d\nIP=10.20.%d.%d\n", i, i, i / 250, i % 250);
        text += line;
        text += "MASK=255.255.0.0\nGW=10.20.0.1\nINPUT=1\nTYPE=16\nTX=0\n";
        text += decoder ? "MULTI=239.192.0.1\nROLE=2\n" : "REMOTE=10.20.0.9\nROLE=1\n";
        text += "SN=" + std::to_string(100000 + i) + "\nVER=3.70\nSFN=0\nBUF=1\n";
        if (decoder) text += "SDM=0\nSDL=37\nSDT=43\nDLY=0\n";
        text += "ATT=245\nLLO=0\n";
    }
    const std::size_t before = ::mallinfo2().uordblks;
    const IniDocument doc = IniDocument::parse(text);
    const std::size_t after = ::mallinfo2().uordblks;
    ASSERT_EQ(doc.sections().size(), static_cast<std::size_t>(kRecords));
    EXPECT_EQ(doc.serialize(), text);
    EXPECT_LT(static_cast<double>(after - before) / kRecords, 1000.0) << "bytes per record";
}

// Every byte value at every position of a 16-character element name, as a datagram could carry
// it, must leave the file's structure as it was: the same sections, the same keys.
TEST_F(ProfileStoreTest, EveryByteInEveryNamePositionLeavesSectionsAndKeysIntact) {
    const std::string base = "ABCDEFGHIJKLMNOP";
    for (int pos = 0; pos < 16; ++pos) {
        files.editExternally(kPath, "[001A2B3C4D5E]\nNAME=x\nIP=10.0.0.1\n[00AABBCCDDEE]\nROLE=1\n");
        for (int b = 0; b < 256; ++b) {
            std::string name = base;
            name[static_cast<std::size_t>(pos)] = static_cast<char>(b);
            store.WriteToINI("001A2B3C4D5E", "name", name, kPath);
            store.flush();
            const auto doc = IniDocument::parse(files.content(kPath));
            ASSERT_EQ(doc.sections().size(), 2u) << "byte " << b << " at " << pos;
            ASSERT_EQ(doc.sections()[0].entries.size(), 2u) << "byte " << b << " at " << pos;
            ASSERT_EQ(doc.sections()[1].entries.size(), 1u) << "byte " << b << " at " << pos;
            ASSERT_EQ(doc.sections()[0].entries[1].value(), "10.0.0.1");
            const std::string back = store.ReadFromINI("001A2B3C4D5E", "name", kPath, "");
            ASSERT_EQ(back, sanitizeText(name)) << "byte " << b << " at " << pos;
            ASSERT_EQ(store.ReadFromINI("00AABBCCDDEE", "role", kPath, ""), "1");
        }
    }
}

// --- size

TEST_F(ProfileStoreTest, EverySectionIsListedBeyondTheOld57NameLimit) {
    std::vector<std::string> expected;
    for (int i = 0; i < 500; ++i) {
        char key[13];
        std::snprintf(key, sizeof key, "0000%08X", i);
        expected.emplace_back(key);
        store.WriteToINI(key, "role", "1", kPath);
    }
    store.flush();
    ProfileStore fresh{files, time};
    std::vector<std::string> listed;
    fresh.LoadIniSectionsLB(listed, kPath);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(listed[57], expected[57]);
}

// --- the typed element record

TEST_F(ProfileStoreTest, AnElementRecordIsWrittenInOneOrderAndLeavesWhatItDoesNotHold) {
    protocol::FeedbackRecord decoder;
    decoder.name = "TX SITE";
    decoder.mask = "255.255.255.0";
    decoder.gateway = "0.0.0.0";
    decoder.remote = "239.200.0.5";
    decoder.type = 32;
    decoder.role = 2;
    decoder.sn = 22;
    decoder.major = 3, decoder.minor = 69;
    decoder.sdl = 10, decoder.dly = 1200;
    writeElementRecord(store, kPath, "00AA00000002", recordFromAnswer(decoder, "192.168.1.60"));
    EXPECT_EQ(keys("00AA00000002"),
              (std::vector<std::string>{"NAME", "IP", "MASK", "GW", "INPUT", "TYPE", "TX", "MULTI",
                                        "ROLE", "SN", "VER", "SFN", "BUF", "SDM", "SDL", "SDT",
                                        "DLY", "ATT", "LLO"}));
    EXPECT_EQ(store.ReadFromINI("00AA00000002", "name", kPath, ""), "TX SITE         ");
    EXPECT_EQ(store.ReadFromINI("00AA00000002", "ver", kPath, ""), "3.69");
    EXPECT_EQ(store.ReadFromINI("00AA00000002", "dly", kPath, ""), "1200");

    // An encoder sending unicast keeps its decoder under REMOTE and has no silence detector.
    protocol::FeedbackRecord encoder = decoder;
    encoder.role = 1;
    writeElementRecord(store, kPath, "00AA00000001", recordFromAnswer(encoder, "192.168.1.50"));
    EXPECT_EQ(keys("00AA00000001"),
              (std::vector<std::string>{"NAME", "IP", "MASK", "GW", "INPUT", "TYPE", "TX", "REMOTE",
                                        "ROLE", "SN", "VER", "SFN", "BUF", "ATT", "LLO"}));

    // Only what a record holds is written.
    ElementRecord partial;
    partial.serial = 23;
    partial.setStreamAddress(1, 1, "239.200.0.6");
    writeElementRecord(store, kPath, "00AA00000001", partial);
    EXPECT_EQ(keys("00AA00000001").size(), 16u);
    EXPECT_EQ(store.ReadFromINI("00AA00000001", "sn", kPath, ""), "23");
    EXPECT_EQ(store.ReadFromINI("00AA00000001", "multi", kPath, ""), "239.200.0.6");
    EXPECT_EQ(store.ReadFromINI("00AA00000001", "remote", kPath, ""), "239.200.0.5");
    EXPECT_EQ(store.ReadFromINI("00AA00000001", "name", kPath, ""), "TX SITE         ");
}

// Every layer reads a record by the editor's rules: blanks around a number are allowed, a
// fraction or a word is no number, and only 1 and 2 are roles.
TEST_F(ProfileStoreTest, AnElementRecordIsReadAsTheEditorShowsIt) {
    struct Case {
        const char* role;
        Role expected;
    };
    for (const auto& c : {Case{"2", Role::Decoder}, Case{" 1 ", Role::Encoder}, Case{"2.0", Role::Decoder},
                          Case{"2.5", Role::Unknown}, Case{"3", Role::Unknown}, Case{"x", Role::Unknown},
                          Case{"", Role::Unknown}}) {
        store.WriteToINI("00AA00000002", "role", c.role, kPath);
        EXPECT_EQ(readElementRecord(store, kPath, "00AA00000002").role, c.expected) << c.role;
    }
    store.WriteToINI("00AA00000002", "name", "  TX SITE  ", kPath);
    store.WriteToINI("00AA00000002", "role", "2", kPath);
    store.WriteToINI("00AA00000002", "sfn", "1.5", kPath);
    store.WriteToINI("00AA00000002", "dly", " 1200", kPath);
    store.WriteToINI("00AA00000002", "remote", "192.168.1.91", kPath);
    auto e = readElementRecord(store, kPath, "00AA00000002");
    EXPECT_EQ(e.name, "TX SITE");
    EXPECT_FALSE(e.sfn.has_value());
    EXPECT_EQ(e.delay, 1200);
    // A decoder keeps its group under MULTI: missing, it reads as the default group.
    EXPECT_EQ(e.streamAddress, "239.255.255.239");
    store.WriteToINI("00AA00000002", "multi", " 239.1.2.3 ", kPath);
    store.WriteToINI("00AA00000002", "sfn", "1", kPath);
    e = readElementRecord(store, kPath, "00AA00000002");
    EXPECT_EQ(e.streamAddress, "239.1.2.3");
    EXPECT_TRUE(e.isDecoder() && e.sfnEnabled());
    EXPECT_EQ(readElementRecord(store, kPath, "00AA0000FFFF").role, Role::Unknown);
}

}  // namespace
}  // namespace nms::store
