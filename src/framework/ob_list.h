// SPDX-License-Identifier: Apache-2.0
// CObList: an ordered, doubly linked list of objects that it owns.
// Positions stay valid until their element is removed. Nodes come from blocks
// of ten that are kept for reuse and released when the list becomes empty.
#pragma once

#include "framework/object.h"

#include <cstddef>

struct CObListNode;
using POSITION = CObListNode*;

class CObList : public CObject {
    DECLARE_DYNAMIC(CObList)
public:
    CObList() = default;
    CObList(const CObList&) = delete;
    CObList& operator=(const CObList&) = delete;
    ~CObList() override; // destroys every element

    // Adds at the tail; the list takes ownership. Returns the new position.
    POSITION AddTail(CObject* pObject);
    // The position of this very object (identity), searching from the head; null when absent.
    POSITION Find(const CObject* pObject) const;
    // Unlinks the element at `pos` and destroys it.
    void RemoveAt(POSITION pos);
    // Destroys every element.
    void RemoveAll();

    POSITION GetHeadPosition() const { return m_pNodeHead; }
    // The element at `pos`; advances `pos` to the next one, or to null after the tail.
    CObject* GetNext(POSITION& pos) const;
    CObject* GetAt(POSITION pos) const;
    size_t GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

private:
    static constexpr size_t kBlockSize = 10;

    CObListNode* NewNode(CObListNode* pPrev, CObListNode* pNext);
    void FreeNode(CObListNode* pNode);
    void FreeBlocks();

    CObListNode* m_pNodeHead = nullptr;
    CObListNode* m_pNodeTail = nullptr;
    CObListNode* m_pNodeFree = nullptr;
    struct Block;
    Block* m_pBlocks = nullptr;
    size_t m_nCount = 0;
};
