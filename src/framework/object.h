// SPDX-License-Identifier: Apache-2.0
// CObject, the root of every archivable class, and the runtime class records
// that let the archive create an object from the class name stored in a file.
#pragma once

#include <cstdint>
#include <string_view>

class CObject;
class CArchive;

// One record per class: its name, schema number, factory and base class.
// Classes register themselves by defining a static CRuntimeClass; lookup by
// name walks the registration chain.
struct CRuntimeClass {
    const char* m_lpszClassName;
    uint16_t m_wSchema;
    CObject* (*m_pfnCreateObject)(); // null for classes that cannot be created by name
    const CRuntimeClass* m_pBaseClass;
    const CRuntimeClass* m_pNextClass = nullptr;

    CRuntimeClass(const char* name, uint16_t schema, CObject* (*create)(),
                  const CRuntimeClass* base);

    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
    bool IsDerivedFrom(const CRuntimeClass* pBase) const;

    // The registered class whose name equals `name` byte for byte, or null.
    static const CRuntimeClass* FromName(std::string_view name);
};

class CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& ar);

    bool IsKindOf(const CRuntimeClass* pClass) const;

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// In a class body: declares the class record and its query.
#define DECLARE_SERIAL(class_name)                                                                 \
public:                                                                                            \
    static const CRuntimeClass class##class_name;                                                  \
    const CRuntimeClass* GetRuntimeClass() const override;                                         \
    static CObject* CreateObject();

// In the class's source file: registers the class under its own name.
#define IMPLEMENT_SERIAL(class_name, base_class_name, schema)                                      \
    CObject* class_name::CreateObject() {                                                          \
        return new class_name;                                                                     \
    }                                                                                              \
    const CRuntimeClass class_name::class##class_name(                                             \
        #class_name, schema, &class_name::CreateObject, RUNTIME_CLASS(base_class_name));           \
    const CRuntimeClass* class_name::GetRuntimeClass() const {                                     \
        return RUNTIME_CLASS(class_name);                                                          \
    }

// Registers a class that has a record but cannot be created by name.
#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                             \
    const CRuntimeClass class_name::class##class_name(#class_name, 0xFFFF, nullptr,                \
                                                      RUNTIME_CLASS(base_class_name));             \
    const CRuntimeClass* class_name::GetRuntimeClass() const {                                     \
        return RUNTIME_CLASS(class_name);                                                          \
    }

#define DECLARE_DYNAMIC(class_name)                                                                \
public:                                                                                            \
    static const CRuntimeClass class##class_name;                                                  \
    const CRuntimeClass* GetRuntimeClass() const override;
