// SPDX-License-Identifier: Apache-2.0
#include "framework/ob_list.h"

struct CObListNode {
    CObListNode* pNext;
    CObListNode* pPrev;
    CObject* data;
};

struct CObList::Block {
    Block* pNext;
    CObListNode nodes[kBlockSize];
};

IMPLEMENT_DYNAMIC(CObList, CObject)

CObList::~CObList() { RemoveAll(); }

CObListNode* CObList::NewNode(CObListNode* pPrev, CObListNode* pNext) {
    if (!m_pNodeFree) {
        Block* block = new Block;
        block->pNext = m_pBlocks;
        m_pBlocks = block;
        for (size_t i = kBlockSize; i-- > 0;) {
            block->nodes[i].pNext = m_pNodeFree;
            m_pNodeFree = &block->nodes[i];
        }
    }
    CObListNode* node = m_pNodeFree;
    m_pNodeFree = node->pNext;
    node->pPrev = pPrev;
    node->pNext = pNext;
    node->data = nullptr;
    ++m_nCount;
    return node;
}

void CObList::FreeNode(CObListNode* pNode) {
    pNode->pNext = m_pNodeFree;
    m_pNodeFree = pNode;
    if (--m_nCount == 0)
        FreeBlocks();
}

void CObList::FreeBlocks() {
    while (m_pBlocks) {
        Block* next = m_pBlocks->pNext;
        delete m_pBlocks;
        m_pBlocks = next;
    }
    m_pNodeFree = nullptr;
}

POSITION CObList::AddTail(CObject* pObject) {
    CObListNode* node = NewNode(m_pNodeTail, nullptr);
    node->data = pObject;
    if (m_pNodeTail)
        m_pNodeTail->pNext = node;
    else
        m_pNodeHead = node;
    m_pNodeTail = node;
    return node;
}

POSITION CObList::Find(const CObject* pObject) const {
    for (CObListNode* node = m_pNodeHead; node; node = node->pNext)
        if (node->data == pObject)
            return node;
    return nullptr;
}

void CObList::RemoveAt(POSITION pos) {
    CObject* object = pos->data;
    (pos->pPrev ? pos->pPrev->pNext : m_pNodeHead) = pos->pNext;
    (pos->pNext ? pos->pNext->pPrev : m_pNodeTail) = pos->pPrev;
    FreeNode(pos);
    delete object;
}

void CObList::RemoveAll() {
    for (CObListNode* node = m_pNodeHead; node; node = node->pNext)
        delete node->data;
    m_pNodeHead = m_pNodeTail = nullptr;
    m_nCount = 0;
    FreeBlocks();
}

CObject* CObList::GetNext(POSITION& pos) const {
    CObListNode* node = pos;
    pos = node->pNext;
    return node->data;
}

CObject* CObList::GetAt(POSITION pos) const { return pos->data; }
