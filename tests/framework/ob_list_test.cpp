// SPDX-License-Identifier: Apache-2.0
#include "framework/ob_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Counts live instances, so tests can see that the list destroys what it owns.
struct Tracked : CObject {
    static int live;
    int id;
    explicit Tracked(int i) : id(i) { ++live; }
    ~Tracked() override { --live; }
};
int Tracked::live = 0;

std::vector<int> Ids(const CObList& list) {
    std::vector<int> ids;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        ids.push_back(static_cast<Tracked*>(list.GetNext(pos))->id);
    return ids;
}
} // namespace

TEST(ObList, OwnsOrdersFindsByIdentityAndRemoves) {
    {
        CObList list;
        std::vector<Tracked*> items;
        for (int i = 0; i < 25; ++i) // more than two node blocks
            list.AddTail(items.emplace_back(new Tracked(i)));
        EXPECT_EQ(list.GetCount(), 25u);
        EXPECT_EQ(Tracked::live, 25);

        Tracked twin(3); // equal contents, different object
        EXPECT_EQ(list.Find(&twin), nullptr);
        POSITION pos = list.Find(items[3]);
        ASSERT_NE(pos, nullptr);
        list.RemoveAt(pos);
        EXPECT_EQ(Tracked::live, 25); // 24 in the list, plus the twin
        list.RemoveAt(list.Find(items[0]));
        list.RemoveAt(list.Find(items[24]));
        std::vector<int> expected;
        for (int i = 1; i < 24; ++i)
            if (i != 3)
                expected.push_back(i);
        EXPECT_EQ(Ids(list), expected);

        // Removed nodes are reused, and order is kept.
        list.AddTail(new Tracked(100));
        EXPECT_EQ(Ids(list).back(), 100);
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(ObList, EmptiedListStartsAfresh) {
    CObList list;
    Tracked* only = new Tracked(1);
    list.AddTail(only);
    list.RemoveAt(list.GetHeadPosition());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(new Tracked(2));
    EXPECT_EQ(Ids(list), std::vector<int>{2});
    list.RemoveAll();
    EXPECT_EQ(Tracked::live, 0);
}
