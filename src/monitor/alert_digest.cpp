#include "monitor/alert_digest.h"

#include "framework/control_bytes.h"

namespace {
// A failed target as one word of OSTREL_FAILED_TARGETS.
std::string TargetWord(const CItem& item) {
    std::string word = EscapeControlBytes(item.m_strAddress, " \\:");
    if (!item.IsIcmp())
        word += ":" + std::to_string(item.m_nPort);
    return word;
}
} // namespace

std::vector<std::string> AlertDigestEnvironment(const CItemList& list) {
    size_t nFailed = 0;
    std::string strTargets;
    for (POSITION pos = list.GetHeadPosition(); pos;) {
        const CItem& item = *list.GetNext(pos);
        if (item.m_bOk != 0)
            continue;
        if (nFailed++ > 0)
            strTargets += ' ';
        strTargets += TargetWord(item);
    }
    return {"OSTREL_FAILED=" + std::to_string(nFailed),
            "OSTREL_TOTAL=" + std::to_string(list.GetCount()),
            "OSTREL_FAILED_TARGETS=" + strTargets};
}
