// SPDX-License-Identifier: Apache-2.0
#include "model/item_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {
std::vector<std::string> Addresses(const CItemList& list) {
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        out.push_back(list.GetNext(pos)->m_strAddress);
    return out;
}

CItem* NewItem(const std::string& address) {
    auto* item = new CItem;
    item->m_strAddress = address;
    return item;
}
} // namespace

TEST(Model, DefaultsOfTargetAndList) {
    const CItem item;
    EXPECT_EQ(item.m_bOk, 0);
    EXPECT_EQ(item.m_nMode, kProbeTcp);
    EXPECT_EQ(item.m_strAddress, "");
    EXPECT_EQ(item.m_nPort, 80);
    EXPECT_FALSE(item.IsIcmp());

    const CItemList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.m_strLogFile, "");
    EXPECT_EQ(list.m_nLogging, kLogNever);
    EXPECT_EQ(list.m_bPopup, 1);
    EXPECT_EQ(list.m_strSound, "");
    EXPECT_EQ(list.m_strExecute, "");
    EXPECT_EQ(list.m_nPeriod, 15);
    EXPECT_EQ(list.m_bAutoStart, 0);
}

TEST(Model, ClassesAreCreatedByTheirRegisteredNames) {
    const CRuntimeClass* item = CRuntimeClass::FromName("CItem");
    const CRuntimeClass* list = CRuntimeClass::FromName("CItemList");
    ASSERT_TRUE(item && list);
    EXPECT_EQ(item->m_wSchema, 0);
    EXPECT_EQ(list->m_wSchema, 0);
    EXPECT_EQ(item->m_pBaseClass, RUNTIME_CLASS(CObject));
    EXPECT_EQ(list->m_pBaseClass, RUNTIME_CLASS(CObList));
    EXPECT_TRUE(list->IsDerivedFrom(RUNTIME_CLASS(CObject)));

    std::unique_ptr<CObject> made(item->CreateObject());
    ASSERT_TRUE(made && made->IsKindOf(RUNTIME_CLASS(CItem)));
    EXPECT_EQ(static_cast<CItem*>(made.get())->m_nPort, 80);
    std::unique_ptr<CObject> madeList(list->CreateObject());
    EXPECT_EQ(static_cast<CItemList*>(madeList.get())->m_nPeriod, 15);

    // Names match byte for byte; the framework's own classes cannot be made by name.
    EXPECT_EQ(CRuntimeClass::FromName("citem"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CItemLis"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CObList")->CreateObject(), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CObject")->CreateObject(), nullptr);
}

TEST(Model, ListOwnsTargetsInOrderAndRemovesByIdentity) {
    CItemList list;
    CItem* a = NewItem("a");
    CItem* b = NewItem("b");
    CItem* twinOfB = NewItem("b");
    list.AddTail(a);
    list.AddTail(b);
    list.AddTail(twinOfB);
    list.AddTail(NewItem("c"));
    EXPECT_EQ(list.GetCount(), 4u);

    // Find looks for this very target, not one with equal contents.
    EXPECT_EQ(list.GetAt(list.Find(twinOfB)), twinOfB);
    list.RemoveAt(list.Find(b));
    EXPECT_EQ(Addresses(list), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(list.Find(b), nullptr);
    EXPECT_NE(list.Find(twinOfB), nullptr);
    list.RemoveAt(list.Find(a));
    EXPECT_EQ(list.GetAt(list.GetHeadPosition()), twinOfB);
    // The remaining targets are destroyed with the list (the sanitizer build
    // reports any that leak).
}
