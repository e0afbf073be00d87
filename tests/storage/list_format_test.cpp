// SPDX-License-Identifier: Apache-2.0
#include "framework/archive.h"
#include "framework/mem_file.h"
#include "storage/list_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>

#include "support/test_files.h"
#include "support/test_items.h"

namespace {
const char* const kPath = "/lists/a.osl";

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

const Bytes kListClass = Bytes{0xFF, 0xFF, 0, 0, 9, 0} + B("CItemList");
const Bytes kItemClass = Bytes{0xFF, 0xFF, 0, 0, 5, 0} + B("CItem");
const Bytes kDefaultSettings = {1, 0, 0, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kItemFields = {0, 0, 0, 0, 1, 0, 0, 0, 0, 80, 0, 0, 0};
const Bytes kHead = kListClass + kDefaultSettings;

Bytes Save(const CItemList& list, uint32_t firstIndex = 1) {
    CMemFile file({}, kPath);
    CArchive ar(&file, CArchive::store);
    ar.SetNextIndexForTesting(firstIndex);
    ar.WriteObject(&list);
    ar.Close();
    return file.Data();
}

std::unique_ptr<CItemList> Load(const Bytes& bytes, uint32_t firstIndex = 1) {
    CMemFile file(bytes, kPath);
    CArchive ar(&file, CArchive::load);
    ar.SetNextIndexForTesting(firstIndex);
    return std::unique_ptr<CItemList>(
        static_cast<CItemList*>(ar.ReadObject(RUNTIME_CLASS(CItemList))));
}

// Every field of a list, targets in order, as one comparable text.
std::string Describe(const CItemList* list) {
    if (!list)
        return "no list";
    std::ostringstream out;
    out << list->m_bPopup << '|' << list->m_strSound << '|' << list->m_strExecute << '|'
        << list->m_nPeriod << '|' << list->m_bAutoStart << '|' << list->m_nLogging << '|'
        << list->m_strLogFile;
    for (POSITION pos = list->GetHeadPosition(); pos;) {
        const CItem* item = list->GetNext(pos);
        out << "; " << item->m_bOk << ',' << item->m_nMode << ',' << item->m_strAddress << ','
            << item->m_nPort;
    }
    return out.str();
}

std::unique_ptr<CItemList> ExampleList() {
    auto list = std::make_unique<CItemList>();
    list->m_nPeriod = 5;
    list->m_nLogging = kLogAlways;
    list->m_strLogFile = "events.log";
    list->AddTail(NewItem(1, kProbeIcmp, "10.0.0.1", 80));
    list->AddTail(NewItem(0, kProbeTcp, "10.0.0.2", 25));
    return list;
}

std::unique_ptr<CItemList> ListOf(size_t n) {
    auto list = std::make_unique<CItemList>();
    for (size_t i = 0; i < n; ++i)
        list->AddTail(new CItem);
    return list;
}
} // namespace

TEST(ListFormat, DefaultListIsTheThirtySixByteFile) {
    const Bytes bytes = Save(CItemList());
    EXPECT_EQ(bytes, FixtureBytes("default.osl"));
    EXPECT_EQ(bytes.size(), 36u);
    EXPECT_EQ(Describe(Load(bytes).get()), Describe(std::make_unique<CItemList>().get()));
}

TEST(ListFormat, WorkedExampleWrittenAndReadBack) {
    const Bytes expected = FixtureBytes("example.osl");
    ASSERT_EQ(expected.size(), 101u);
    const auto list = ExampleList();
    EXPECT_EQ(Save(*list), expected);
    EXPECT_EQ(Describe(Load(expected).get()), Describe(list.get()));

    // Every target after the first is introduced by the class reference 03 80.
    list->AddTail(NewItem(7, 3, "host", -1));
    const Bytes three = Save(*list);
    EXPECT_EQ(three[78], 0x03);
    EXPECT_EQ(three[79], 0x80);
    EXPECT_EQ(Bytes(three.begin() + 101, three.begin() + 103), (Bytes{0x03, 0x80}));
    EXPECT_EQ(Describe(Load(three).get()), Describe(list.get()));
}

TEST(ListFormat, CountBoundaries) {
    const Bytes at65534 = Save(*ListOf(65534));
    EXPECT_EQ(Bytes(at65534.begin() + 34, at65534.begin() + 36), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(Load(at65534)->GetCount(), 65534u);
    const Bytes at65535 = Save(*ListOf(65535));
    EXPECT_EQ(Bytes(at65535.begin() + 34, at65535.begin() + 40),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(at65535.size(), 40 + 24 + 65534 * 15u);
    EXPECT_EQ(Load(at65535)->GetCount(), 65535u);
}

TEST(ListFormat, ReaderAcceptsOtherFormsAndIgnoresTrailingBytes) {
    const Bytes example = FixtureBytes("example.osl");
    const std::string expected = Describe(ExampleList().get());
    // Stale bytes after the last target, even a whole second list, change nothing.
    EXPECT_EQ(Describe(Load(example + Bytes(5000, 0xAB)).get()), expected);
    EXPECT_EQ(Describe(Load(example + example).get()), expected);
    // Only the null tag: no list and no error, whatever follows.
    EXPECT_EQ(Load({0, 0}), nullptr);
    EXPECT_EQ(Load(Bytes{0, 0} + example), nullptr);
    // The log file as a 16-bit string.
    Bytes wide = Bytes(example.begin(), example.begin() + 33) + Bytes{0xFF, 0xFE, 0xFF, 10};
    for (char c : std::string("events.log"))
        wide = wide + Bytes{static_cast<uint8_t>(c), 0};
    wide = wide + Bytes(example.begin() + 44, example.end());
    EXPECT_EQ(Describe(Load(wide).get()), expected);
    // The class reference 03 80 in its 32-bit escape form.
    Bytes escaped = Bytes(example.begin(), example.begin() + 78) +
                    Bytes{0xFF, 0x7F, 3, 0, 0, 0x80} + Bytes(example.begin() + 80, example.end());
    EXPECT_EQ(Describe(Load(escaped).get()), expected);
}

TEST(ListFormat, EscapesAboveIndex7FFEBothWays) {
    const auto list = ExampleList();
    list->AddTail(NewItem(1, 1, "third", 443));
    // Indices: CItemList 0x7FFD, the list 0x7FFE, CItem 0x7FFF, targets 0x8000...
    const Bytes bytes = Save(*list, 0x7FFD);
    const Bytes escape = {0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x80};
    EXPECT_EQ(Bytes(bytes.begin() + 78, bytes.begin() + 84), escape);
    EXPECT_EQ(std::search(bytes.begin() + 84, bytes.end(), escape.begin(), escape.end()) -
                  bytes.begin(),
              84 + 21)
        << "the third target uses the escape too";
    EXPECT_EQ(Describe(Load(bytes, 0x7FFD).get()), Describe(list.get()));

    // The writer's general rules: a missing object, and one written before,
    // as a u16 index or in the escape form.
    CItem item;
    const Bytes itemRecord = kItemClass + kItemFields;
    for (auto [first, reference] : {std::pair<uint32_t, Bytes>{1, {0x02, 0x00}},
                                    {0x7FFE, {0xFF, 0x7F, 0xFF, 0x7F, 0x00, 0x00}}}) {
        CMemFile file;
        CArchive ar(&file, CArchive::store);
        ar.SetNextIndexForTesting(first);
        ar.WriteObject(nullptr);
        ar.WriteObject(&item);
        ar.WriteObject(&item);
        ar.Close();
        EXPECT_EQ(file.Data(), (Bytes{0, 0} + itemRecord + reference)) << first;
    }
}

TEST(ListFormat, ObjectsWrittenAgainInAnyAddressOrderBecomeReferences) {
    // Contiguous objects, first in address order, then against it, then all
    // again in a scattered order: every second write is a reference to the
    // index the object took the first time.
    std::vector<CItem> items(300);
    std::vector<size_t> order;
    for (size_t k = 0; k < 150; ++k)
        order.push_back(k);
    for (size_t k = 300; k-- > 150;)
        order.push_back(k);
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    std::vector<uint32_t> indexOf(items.size());
    uint32_t next = 2; // index 1 is the class CItem
    for (size_t k : order) {
        ar.WriteObject(&items[k]);
        indexOf[k] = next++;
    }
    ar.Flush();
    const size_t firstPass = file.Data().size();
    Bytes expected;
    for (size_t k = 0; k < items.size(); ++k) {
        const size_t scattered = k * 7 % items.size(); // 7 is prime to 300
        ar.WriteObject(&items[scattered]);
        expected = expected + Bytes{static_cast<uint8_t>(indexOf[scattered]),
                                    static_cast<uint8_t>(indexOf[scattered] >> 8)};
    }
    ar.Close();
    EXPECT_EQ(firstPass, kItemClass.size() + 300 * kItemFields.size() + 299 * 2);
    EXPECT_EQ(Bytes(file.Data().begin() + static_cast<long>(firstPass), file.Data().end()),
              expected);
}

TEST(ListFormat, IndexLimitRaisesCauseFiveBothWays) {
    EXPECT_EQ(Save(CItemList(), 0x3FFFFFFC).size(), 36u); // the list takes 0x3FFFFFFD
    for (uint32_t first : {0x3FFFFFFDu, 0x3FFFFFFEu}) {
        try {
            Save(CItemList(), first);
            ADD_FAILURE() << first;
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::badIndex);
            EXPECT_EQ(e.GetErrorMessage(), "/lists/a.osl has a bad format.");
        }
    }
    EXPECT_NE(Load(FixtureBytes("default.osl"), 0x3FFFFFFC), nullptr);
    EXPECT_THROW(Load(FixtureBytes("default.osl"), 0x3FFFFFFD), CArchiveException);
    EXPECT_THROW(Load(FixtureBytes("example.osl"), 0x3FFFFFFB), CArchiveException);
}

TEST(ListFormat, EveryMalformedFileRaisesItsCause) {
    struct Case {
        const char* what;
        Bytes bytes;
        int cause;
    };
    const Bytes oneItem = kHead + Bytes{1, 0} + kItemClass + kItemFields;
    const Bytes example = FixtureBytes("example.osl");
    Bytes longName = {0xFF, 0xFF, 0, 0, 64, 0};
    longName.resize(6 + 64, 'C');
    const Case cases[] = {
        {"empty file", {}, 3},
        {"one byte", {0xFF}, 3},
        {"cut inside the schema", {0xFF, 0xFF, 0}, 3},
        {"cut inside a setting string", kListClass + Bytes{1, 0, 0, 0, 5, 'a'}, 3},
        {"cut before the count", kHead, 3},
        {"count above the targets present", kHead + Bytes{2, 0} + kItemClass + kItemFields, 3},
        {"cut inside a tag", kHead + Bytes{1, 0, 0xFF}, 3},
        {"cut inside an escape", kHead + Bytes{1, 0, 0xFF, 0x7F, 3, 0}, 3},
        {"ends inside the last port", Bytes(example.begin(), example.end() - 1), 3},
        {"ends before the last port", Bytes(example.begin(), example.end() - 4), 3},
        {"object reference 1 at the top", {1, 0}, 5},
        {"class reference 1 at the top", {1, 0x80}, 5},
        {"class reference 0", {0, 0x80}, 5},
        {"escaped object reference at the top", {0xFF, 0x7F, 1, 0, 0, 0}, 5},
        {"null tag as a target", kHead + Bytes{1, 0, 0, 0}, 5},
        {"the list itself as a target", kHead + Bytes{1, 0, 2, 0}, 5},
        {"earlier target again", kHead + Bytes{2, 0} + kItemClass + kItemFields + Bytes{4, 0}, 5},
        {"class reference to an object",
         kHead + Bytes{2, 0} + kItemClass + kItemFields + Bytes{4, 0x80}, 5},
        {"class reference not yet assigned", kHead + Bytes{1, 0, 3, 0x80}, 5},
        {"lower-case class name", Bytes{0xFF, 0xFF, 0, 0, 9, 0} + B("citemlist"), 6},
        {"starts with CItem", kItemClass + kItemFields, 6},
        {"a framework class", Bytes{0xFF, 0xFF, 0, 0, 7, 0} + B("CObList"), 6},
        {"name of 64 bytes", longName, 6},
        {"name cut short", Bytes{0xFF, 0xFF, 0, 0, 9, 0} + B("CItem"), 6},
        {"a list as a target", kHead + Bytes{1, 0, 1, 0x80}, 6},
        {"schema 1",
         Bytes{0xFF, 0xFF, 1, 0, 9, 0} + B("CItemList") + kDefaultSettings + Bytes{0, 0}, 7},
        {"target schema 2", kHead + Bytes{1, 0, 0xFF, 0xFF, 2, 0, 5, 0} + B("CItem") + kItemFields,
         7},
    };
    const char* const messages[] = {
        "",
        "",
        "",
        "An attempt was made to access  past its end.",
        "",
        "/lists/a.osl has a bad format.",
        "/lists/a.osl contained an unexpected object.",
        "/lists/a.osl contains an incorrect schema.",
    };
    EXPECT_EQ(Describe(Load(oneItem).get()), Describe(ListOf(1).get()));
    for (const Case& c : cases) {
        try {
            auto list = Load(c.bytes);
            ADD_FAILURE() << c.what << ": read without an error";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, c.cause) << c.what;
            EXPECT_EQ(e.GetErrorMessage(), messages[c.cause]) << c.what;
        }
    }
}
