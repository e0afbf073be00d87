// SPDX-License-Identifier: Apache-2.0
// A seam for tests: while an object of T exists, T::Active() gives it (the
// newest, when several are nested), and the toolkit hands it what it would
// otherwise show a person.
#pragma once

template <class T> class CScopedHook {
public:
    CScopedHook(const CScopedHook&) = delete;
    CScopedHook& operator=(const CScopedHook&) = delete;

    // The newest live hook, or null when none is.
    static T* Active() { return static_cast<T*>(s_pActive); }

protected:
    CScopedHook() : m_pPrevious(s_pActive) { s_pActive = this; }
    ~CScopedHook() { s_pActive = m_pPrevious; }

private:
    inline static CScopedHook* s_pActive = nullptr;
    CScopedHook* m_pPrevious;
};
