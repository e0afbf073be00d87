// SPDX-License-Identifier: Apache-2.0
#include "monitor/alert_digest.h"

#include "check/host_address.h"
#include "framework/control_bytes.h"

namespace {
// The words joined by single blanks, as many whole ones from the start as
// fit in kMaxFailedTargetsBytes; the lines of the digest file get every one.
struct SJoinedWords {
    std::string strValue, strLines;
    bool bTruncated = false;
};

SJoinedWords JoinWords(const std::vector<std::string>& words) {
    SJoinedWords joined;
    for (const std::string& word : words) {
        joined.strLines += word + '\n';
        const size_t nSeparator = &word != &words.front() ? 1 : 0;
        // Once one word is left out, so are all after it: the value is a
        // head of the list, never a list with holes.
        joined.bTruncated = joined.bTruncated || joined.strValue.size() + nSeparator + word.size() >
                                                     kMaxFailedTargetsBytes;
        if (!joined.bTruncated)
            joined.strValue += (nSeparator ? " " : "") + word;
    }
    return joined;
}

// An IPv6 literal as "[ADDRESS]" or "[ADDRESS%ZONE]", brackets it may have
// had taken off first: the address keeps its colons, the zone is escaped as
// any other address is, and so is "]", which would end the brackets early.
std::string BracketedIpv6Word(const std::string& strAddress) {
    const std::string text = WithoutIpv6Brackets(strAddress);
    const size_t nZone = text.find('%');
    // Appended piece by piece: GCC 12 at -O2 and above warns, wrongly, of an
    // overlapping copy (-Wrestrict) in a literal + a temporary string.
    std::string word(1, '[');
    word += EscapeControlBytes(text.substr(0, nZone), " \\*?[]");
    if (nZone != std::string::npos)
        word.append(1, '%').append(EscapeControlBytes(text.substr(nZone + 1), " \\:*?[]"));
    return word.append(1, ']');
}
} // namespace

std::string AlertTargetWord(const CItem& item) {
    std::string word = IsIpv6Literal(item.m_strAddress)
                           ? BracketedIpv6Word(item.m_strAddress)
                           : EscapeControlBytes(item.m_strAddress, " \\:*?[");
    if (!item.IsIcmp())
        word.append(1, ':').append(std::to_string(item.m_nPort));
    return word;
}

SAlertEnvironment AlertDigestEnvironment(const CItemList& list) {
    std::vector<std::string> failed;
    for (POSITION pos = list.GetHeadPosition(); pos;) {
        const CItem& item = *list.GetNext(pos);
        if (item.m_bOk == 0)
            failed.push_back(AlertTargetWord(item));
    }
    SJoinedWords joined = JoinWords(failed);
    SAlertEnvironment digest;
    digest.variables = {"OSTREL_FAILED=" + std::to_string(failed.size()),
                        "OSTREL_TOTAL=" + std::to_string(list.GetCount()),
                        "OSTREL_FAILED_TARGETS=" + joined.strValue};
    if (joined.bTruncated)
        digest.variables.push_back("OSTREL_FAILED_TARGETS_TRUNCATED=1");
    // Inherited from a process that itself runs as an alert command, they
    // would describe another pass.
    digest.removed = {"OSTREL_FAILED_TARGETS_TRUNCATED", "OSTREL_DIGEST_FILE"};
    digest.fileText = std::move(joined.strLines);
    return digest;
}

SAlertEnvironment AlertEventEnvironment(const CItemList& list, EAlertEvent event,
                                        const std::vector<std::string>& concerned) {
    SAlertEnvironment digest = AlertDigestEnvironment(list);
    SJoinedWords joined = JoinWords(concerned);
    digest.variables.push_back(std::string("OSTREL_EVENT=") + AlertEventName(event));
    digest.variables.push_back("OSTREL_TARGETS=" + joined.strValue);
    if (joined.bTruncated)
        digest.variables.push_back("OSTREL_TARGETS_TRUNCATED=1");
    digest.removed.push_back("OSTREL_TARGETS_TRUNCATED");
    digest.fileText = std::move(joined.strLines);
    return digest;
}
