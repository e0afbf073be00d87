#include "monitor/alert_digest.h"

#include "framework/control_bytes.h"

namespace {
// A failed target as one word of OSTREL_FAILED_TARGETS.
std::string TargetWord(const CItem& item) {
    std::string word = EscapeControlBytes(item.m_strAddress, " \\:*?[");
    if (!item.IsIcmp())
        word += ":" + std::to_string(item.m_nPort);
    return word;
}
} // namespace

SAlertEnvironment AlertDigestEnvironment(const CItemList& list) {
    size_t nFailed = 0;
    bool bTruncated = false;
    std::string strTargets, strLines;
    for (POSITION pos = list.GetHeadPosition(); pos;) {
        const CItem& item = *list.GetNext(pos);
        if (item.m_bOk != 0)
            continue;
        const std::string word = TargetWord(item);
        strLines += word + '\n';
        const size_t nSeparator = nFailed++ > 0 ? 1 : 0;
        // Once one word is left out, so are all after it: the value is a
        // head of the list, never a list with holes.
        bTruncated =
            bTruncated || strTargets.size() + nSeparator + word.size() > kMaxFailedTargetsBytes;
        if (!bTruncated)
            strTargets += (nSeparator ? " " : "") + word;
    }
    SAlertEnvironment digest;
    digest.variables = {"OSTREL_FAILED=" + std::to_string(nFailed),
                        "OSTREL_TOTAL=" + std::to_string(list.GetCount()),
                        "OSTREL_FAILED_TARGETS=" + strTargets};
    if (bTruncated)
        digest.variables.push_back("OSTREL_FAILED_TARGETS_TRUNCATED=1");
    // Inherited from a process that itself runs as an alert command, they
    // would describe another pass.
    digest.removed = {"OSTREL_FAILED_TARGETS_TRUNCATED", "OSTREL_DIGEST_FILE"};
    digest.fileText = std::move(strLines);
    return digest;
}
