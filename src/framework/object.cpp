// SPDX-License-Identifier: Apache-2.0
#include "framework/object.h"

#include <atomic>
#include <cstring>

namespace {
// Head of the chain of registered classes. Registration happens during static
// initialisation; the chain is only read afterwards.
std::atomic<const CRuntimeClass*>& RegisteredClasses() {
    static std::atomic<const CRuntimeClass*> head{nullptr};
    return head;
}
} // namespace

CRuntimeClass::CRuntimeClass(const char* name, uint16_t schema, CObject* (*create)(),
                             const CRuntimeClass* base)
    : m_lpszClassName(name), m_wSchema(schema), m_pfnCreateObject(create), m_pBaseClass(base) {
    auto& head = RegisteredClasses();
    m_pNextClass = head.load();
    while (!head.compare_exchange_weak(m_pNextClass, this)) {
    }
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBase) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
        if (c == pBase)
            return true;
    return false;
}

const CRuntimeClass* CRuntimeClass::FromName(std::string_view name) {
    for (const CRuntimeClass* c = RegisteredClasses().load(); c; c = c->m_pNextClass)
        if (std::strlen(c->m_lpszClassName) == name.size() &&
            std::memcmp(c->m_lpszClassName, name.data(), name.size()) == 0)
            return c;
    return nullptr;
}

const CRuntimeClass CObject::classCObject("CObject", 0xFFFF, nullptr, nullptr);

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

void CObject::Serialize(CArchive&) {}

bool CObject::IsKindOf(const CRuntimeClass* pClass) const {
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}
