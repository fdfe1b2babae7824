// The string list: how each operation grows, fills and shrinks the array, and
// that entries keep their addresses when only the array moves. The sanitizer
// build runs these under AddressSanitizer and LeakSanitizer, which catch a slot
// written past the array, an entry freed twice or never.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "owned_list.h"
#include "platform/platform.h"
#include "test_support.h"
#include "util/string_list.h"

namespace kerfo {
namespace {

using test::OwnedList;
using test::Texts;

TEST(StringList, NewListsHoldEmptyEntriesAndANegativeCountIsZero) {
    for (int count : {0, -3}) {
        OwnedList list(NewStringList(count));
        EXPECT_EQ(list[0], nullptr);
        EXPECT_EQ(StringListCount(list.get()), 0);
    }
    OwnedList three(NewStringList(3));
    EXPECT_EQ(three.Texts(), (Texts{"", "", ""}));
    EXPECT_NE(three[0], three[1]);  // every blank entry is a text of its own
    EXPECT_EQ(three[3], nullptr);
}

TEST(StringList, GetPastTheEndGrowsWithEmptyEntries) {
    OwnedList list{"a", "b"};
    char* const a = list[0];
    char* got = GetStringAt(list.Address(), 5);
    ASSERT_NE(got, nullptr);
    EXPECT_STREQ(got, "");
    EXPECT_EQ(got, list[5]);
    EXPECT_EQ(list.Texts(), (Texts{"a", "b", "", "", "", ""}));
    EXPECT_EQ(list[0], a);
    EXPECT_EQ(GetStringAt(list.Address(), 1), list[1]);  // inside: the entry itself
    EXPECT_EQ(GetStringAt(list.Address(), -1), nullptr);
    EXPECT_EQ(StringListCount(list.get()), 6);
}

TEST(StringList, SetStoresACopyAndGrowsAsNeeded) {
    OwnedList list{"a"};
    char text[] = "x";
    char* stored = SetStringAt(list.Address(), 3, text);
    ASSERT_NE(stored, nullptr);
    EXPECT_NE(stored, text);
    EXPECT_EQ(stored, list[3]);
    EXPECT_EQ(list.Texts(), (Texts{"a", "", "", "x"}));

    text[0] = 'y';  // the list never keeps the caller's text
    EXPECT_STREQ(list[3], "x");

    EXPECT_STREQ(SetStringAt(list.Address(), 0, "first"), "first");
    EXPECT_EQ(SetStringAt(list.Address(), -1, "z"), nullptr);
    EXPECT_EQ(list.Texts(), (Texts{"first", "", "", "x"}));
}

TEST(StringList, SetAcceptsTheEntryItsReplacing) {
    OwnedList list{"keep", "b"};
    EXPECT_STREQ(SetStringAt(list.Address(), 0, list[0]), "keep");
    EXPECT_STREQ(SetStringAt(list.Address(), 1, list[0] + 2), "ep");
    EXPECT_EQ(list.Texts(), (Texts{"keep", "ep"}));
}

TEST(StringList, InsertBeforeAtTheEndAndPastIt) {
    const struct {
        int index;
        Texts expected;
    } cases[] = {
        {0, {"x", "a", "b"}},
        {1, {"a", "x", "b"}},
        {2, {"a", "b", "x"}},
        {4, {"a", "b", "", "", "x"}},
    };
    for (const auto& c : cases) {
        OwnedList list{"a", "b"};
        char* const a = list[0];
        char* const b = list[1];
        InsertStringAt(list.Address(), c.index, "x");
        EXPECT_EQ(list.Texts(), c.expected) << "index " << c.index;
        EXPECT_NE(std::find(list.get(), list.get() + c.expected.size(), a),
                  list.get() + c.expected.size());
        EXPECT_NE(std::find(list.get(), list.get() + c.expected.size(), b),
                  list.get() + c.expected.size());
    }
    OwnedList list{"a", "b"};
    InsertStringAt(list.Address(), -1, "x");
    EXPECT_EQ(list.Texts(), (Texts{"a", "b"}));
}

TEST(StringList, RemoveMovesTheRestDownInPlace) {
    OwnedList list{"a", "b", "c"};
    char** const array = list.get();
    RemoveStringAt(list.Address(), 1);
    EXPECT_EQ(list.get(), array);
    EXPECT_EQ(list.Texts(), (Texts{"a", "c"}));
    RemoveStringAt(list.Address(), 2);
    RemoveStringAt(list.Address(), 3);
    RemoveStringAt(list.Address(), -1);
    EXPECT_EQ(list.Texts(), (Texts{"a", "c"}));

    // A list with spare slots behind its null grows like any other.
    AppendString(list.Address(), "d");
    EXPECT_EQ(list.Texts(), (Texts{"a", "c", "d"}));
    RemoveStringAt(list.Address(), 0);
    RemoveStringAt(list.Address(), 0);
    RemoveStringAt(list.Address(), 0);
    RemoveStringAt(list.Address(), 0);
    EXPECT_EQ(StringListCount(list.get()), 0);
}

TEST(StringList, ResizeKeepsLeadingEntriesAndFreesTheRest) {
    OwnedList list{"a", "b", "c"};
    char* const a = list[0];
    ResizeStringList(list.Address(), 1);
    EXPECT_EQ(list.Texts(), Texts{"a"});
    EXPECT_EQ(list[0], a);

    ResizeStringList(list.Address(), 3);
    EXPECT_EQ(list.Texts(), (Texts{"a", "", ""}));
    EXPECT_EQ(list[0], a);

    char** const array = list.get();
    ResizeStringList(list.Address(), 3);  // rebuilt even for the same count
    EXPECT_EQ(list.Texts(), (Texts{"a", "", ""}));
    EXPECT_NE(list.get(), array);

    ResizeStringList(list.Address(), -2);
    EXPECT_EQ(StringListCount(list.get()), 0);
    ResizeStringList(list.Address(), 0);
    EXPECT_EQ(StringListCount(list.get()), 0);
}

TEST(StringList, EntriesOutliveTheArrayMovingUnderThem) {
    OwnedList list{"a", "b"};
    const char* b = GetStringAt(list.Address(), 1);
    AppendString(list.Address(), "c");
    InsertStringAt(list.Address(), 0, "z");
    GetStringAt(list.Address(), 9);
    SetStringAt(list.Address(), 12, "far");
    EXPECT_STREQ(b, "b");  // AddressSanitizer objects here if b was freed
    EXPECT_EQ(list[2], b);
    EXPECT_EQ(StringListCount(list.get()), 13);
}

TEST(StringList, CopyIsDeepAndIndependent) {
    OwnedList empty(NewStringList(0));
    OwnedList emptyCopy(CopyStringList(empty.get()));
    EXPECT_NE(emptyCopy.get(), empty.get());
    EXPECT_EQ(emptyCopy[0], nullptr);

    OwnedList source{"a", "b"};
    OwnedList copy(CopyStringList(source.get()));
    EXPECT_EQ(copy.Texts(), (Texts{"a", "b"}));
    EXPECT_NE(copy[0], source[0]);
    SetStringAt(copy.Address(), 0, "changed");
    AppendString(copy.Address(), "more");
    RemoveStringAt(copy.Address(), 1);
    EXPECT_EQ(source.Texts(), (Texts{"a", "b"}));
}

TEST(StringList, AllocatedSlotsAreAnEmptyListToFill) {
    OwnedList list(AllocListSlots(2));
    EXPECT_EQ(StringListCount(list.get()), 0);
    list.get()[0] = strdup("a");
    EXPECT_EQ(list.Texts(), Texts{"a"});
}

// A folder with files, hidden files, sub-folders and a file deeper down.
class FolderListing : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a.txt", "b.jpg", "noext", ".hidden", "c.TXT", "Фото.txt"}) {
            test::WriteFile(folder / name, "x");
        }
        for (const char* name : {"sub", ".hiddensub", "dir.d"}) {
            ASSERT_TRUE(test::MakeFolder(folder / name));
        }
        test::WriteFile(folder / "sub/deep.txt", "x");
    }

    static Texts Sorted(StringList list) {
        OwnedList owned(list);
        Texts texts = owned.Texts();
        std::sort(texts.begin(), texts.end());
        return texts;
    }

    test::ScratchFolder folder;
};

TEST_F(FolderListing, FilesAndFoldersApartHiddenOnesIncluded) {
    const Texts files = {".hidden", "a.txt", "b.jpg", "c.TXT", "noext", "Фото.txt"};
    const Texts folders = {".hiddensub", "dir.d", "sub"};
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "")), files);
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "*.*")), files);
    EXPECT_EQ(Sorted(ListFolders(folder.Path().c_str(), "")), folders);
    EXPECT_EQ(Sorted(ListFolders((folder.Path() + platform::kPathSeparator).c_str(), "*")),
              folders);
}

TEST_F(FolderListing, ALinkToAFolderIsAFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "a symbolic link on Windows needs a privilege that a user seldom has";
#else
    std::filesystem::create_directory_symlink("sub", folder / "linked");
    EXPECT_EQ(Sorted(ListFolders(folder.Path().c_str(), "")),
              (Texts{".hiddensub", "dir.d", "linked", "sub"}));
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "")),
              (Texts{".hidden", "a.txt", "b.jpg", "c.TXT", "noext", "Фото.txt"}));
#endif
}

TEST_F(FolderListing, PatternsSelectNames) {
#ifdef _WIN32
    // Windows matches names in any case.
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "*.txt")),
              (Texts{"a.txt", "c.TXT", "Фото.txt"}));
#else
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "*.txt")), (Texts{"a.txt", "Фото.txt"}));
#endif
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "Ф*")), Texts{"Фото.txt"});
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "?.*")), (Texts{"a.txt", "b.jpg", "c.TXT"}));
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "b.jpg")), Texts{"b.jpg"});
    EXPECT_EQ(Sorted(ListFolders(folder.Path().c_str(), "*.d")), Texts{"dir.d"});
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "*.png")), Texts{});
    EXPECT_EQ(Sorted(ListFiles(folder.Path().c_str(), "sub/*")), Texts{"deep.txt"});
}

TEST_F(FolderListing, AMissingFolderGivesAnEmptyList) {
    EXPECT_EQ(Sorted(ListFiles((folder / "missing").c_str(), "")), Texts{});
    EXPECT_EQ(Sorted(ListFolders((folder / "missing").c_str(), "*")), Texts{});
    EXPECT_EQ(Sorted(ListFiles((folder / "a.txt").c_str(), "")), Texts{});
}

TEST_F(FolderListing, AnEmptyFolderMeansTheCurrentOne) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder / "sub");
    const Texts files = Sorted(ListFiles("", ""));
    const Texts folders = Sorted(ListFolders("", "*.*"));
    std::filesystem::current_path(previous);
    EXPECT_EQ(files, Texts{"deep.txt"});
    EXPECT_EQ(folders, Texts{});  // neither "." nor ".."
}

}  // namespace
}  // namespace kerfo
