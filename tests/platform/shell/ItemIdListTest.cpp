#include "platform/shell/ItemIdList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using shell::TItemIdList;
using shell::TItemKind;

namespace {

std::vector<std::uint8_t> BytesOf(const TItemIdList& list) { return {list.Bytes().begin(), list.Bytes().end()}; }

std::vector<std::uint8_t> Item(std::uint8_t kind, const std::string& name) {
    std::size_t size = name.size() + 3;
    std::vector<std::uint8_t> bytes = {std::uint8_t(size & 0xFF), std::uint8_t(size >> 8), kind};
    bytes.insert(bytes.end(), name.begin(), name.end());
    return bytes;
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<std::uint8_t> kEnd = {0, 0};

}  // namespace

TEST(ItemIdList, EmptyListIsTheTerminatorAlone) {
    TItemIdList list;
    EXPECT_EQ(BytesOf(list), kEnd);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Size(), 2u);
    EXPECT_TRUE(list.Parent().Empty());
    EXPECT_TRUE(list.LastItem().Empty());
}

TEST(ItemIdList, ItemsCarrySizeKindAndNameInThePlatformLayout) {
    TItemIdList list = TItemIdList::FromItem(TItemKind::Folder, "home");
    list.Append(TItemKind::Other, "a.txt");
    EXPECT_EQ(BytesOf(list),
              (std::vector<std::uint8_t>{7, 0, 1, 'h', 'o', 'm', 'e', 8, 0, 2, 'a', '.', 't', 'x', 't', 0, 0}));
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Items()[0].Name, "home");
    EXPECT_EQ(list.Last().Kind, TItemKind::Other);
    EXPECT_EQ(list.Last().Name, "a.txt");
}

TEST(ItemIdList, JoinParentAndLastItemSplitAndRebuildTheList) {
    TItemIdList head = TItemIdList::FromItem(TItemKind::Folder, "a");
    head.Append(TItemKind::Folder, "b");
    TItemIdList tail = TItemIdList::FromItem(TItemKind::Other, "c");
    TItemIdList joined = head.Join(tail);
    EXPECT_EQ(BytesOf(joined), Concat({Item(1, "a"), Item(1, "b"), Item(2, "c"), kEnd}));
    EXPECT_EQ(joined.Parent(), head);
    EXPECT_EQ(joined.LastItem(), tail);
    EXPECT_EQ(TItemIdList().Join(tail), tail);
    EXPECT_EQ(tail.Join(TItemIdList()), tail);
}

TEST(ItemIdList, LongestNameFillsItsItemExactly) {
    std::string longest(shell::kMaxItemName, 'x');
    EXPECT_TRUE(TItemIdList::IsValidName(longest));
    EXPECT_FALSE(TItemIdList::IsValidName(longest + "x"));
    TItemIdList list = TItemIdList::FromItem(TItemKind::Folder, longest);
    EXPECT_EQ(list.Size(), shell::kMaxItemName + 3 + 2);
    EXPECT_EQ(list.Last().Name, longest);
}

TEST(ItemIdList, FromBytesKeepsAWellFormedListUpToItsTerminator) {
    auto bytes = Concat({Item(1, "usr"), Item(2, "x"), kEnd, {0xAA, 0xBB}});
    auto list = TItemIdList::FromBytes(bytes);
    ASSERT_TRUE(list);
    EXPECT_EQ(BytesOf(*list), Concat({Item(1, "usr"), Item(2, "x"), kEnd}));
    EXPECT_EQ(list->Count(), 2u);
}

struct TMalformedList {
    const char* Name;
    std::vector<std::uint8_t> Bytes;
};

class ItemIdListMalformed : public ::testing::TestWithParam<TMalformedList> {};

TEST_P(ItemIdListMalformed, IsRefused) { EXPECT_FALSE(TItemIdList::FromBytes(GetParam().Bytes)); }

INSTANTIATE_TEST_SUITE_P(
    ItemIdList, ItemIdListMalformed,
    ::testing::Values(TMalformedList{"Nothing", {}}, TMalformedList{"HalfTerminator", {0}},
                      TMalformedList{"NoTerminator", Item(1, "a")},
                      TMalformedList{"CutTerminator", Concat({Item(1, "a"), {0}})},
                      TMalformedList{"SizeOne", {1, 0, 0, 0}},
                      TMalformedList{"SizeWithoutName", {3, 0, 1, 0, 0}},
                      TMalformedList{"SizePastTheEnd", {9, 0, 1, 'a', 0, 0}},
                      TMalformedList{"HugeSize", {0xFF, 0xFF, 1, 'a', 0, 0}},
                      TMalformedList{"UnknownKind", Concat({Item(7, "a"), kEnd})},
                      TMalformedList{"SlashInName", Concat({Item(1, "a/b"), kEnd})},
                      TMalformedList{"NulInName", Concat({Item(1, std::string("a\0b", 3)), kEnd})},
                      TMalformedList{"DotDot", Concat({Item(1, ".."), kEnd})},
                      TMalformedList{"Dot", Concat({Item(1, "."), kEnd})},
                      TMalformedList{"NameTooLong", Concat({Item(1, std::string(256, 'n')), kEnd})},
                      TMalformedList{"BadSecondItem", Concat({Item(1, "a"), {2, 0}, kEnd})}),
    [](const auto& info) { return std::string(info.param.Name); });
