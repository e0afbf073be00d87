// SPDX-License-Identifier: Apache-2.0
#include "report/html_timeline.h"

#include "framework/utf8_text.h"

#include <algorithm>
#include <cstdio>

namespace {
// The drawing's width in its own units; the page stretches it.
constexpr double kWidth = 1000.0;
// Spans closer than this are drawn as one; a span is never drawn thinner,
// so that an outage of a minute in a month still shows (about 1.5 pixels on
// a page 1,000 pixels wide).
constexpr double kFinest = 1.5;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Rect(double x0, double x1, const char* fill, const std::string& title) {
    return "<rect x=\"" + Number(x0) + "\" y=\"0\" width=\"" + Number(std::max(x1 - x0, kFinest)) +
           "\" height=\"10\" fill=\"" + fill + "\"><title>" + HtmlText(title) + "</title></rect>";
}

std::string SpanTitle(const CTargetFacts& target, const CReportSpan& first, const CReportSpan& last,
                      size_t count, int64_t seconds, int64_t records) {
    const char* what = target.HasAnswers() ? "Outage" : "Failure run";
    std::string title = count > 1 ? std::to_string(count) + " " +
                                        (target.HasAnswers() ? "outages" : "failure runs") + " "
                                  : std::string(what) + " ";
    title += "from " + FormatLocalTime(first.m_tStart) + " to ";
    title += last.m_bOpen ? FormatLocalTime(last.m_tEnd) + " (still open)"
                          : FormatLocalTime(last.m_tEnd);
    title += ", " + std::string(count > 1 ? "down " : "") + FormatDuration(seconds) + ", " +
             std::to_string(records) + " failed record" + (records == 1 ? "" : "s");
    return title;
}
} // namespace

std::string HtmlText(const std::string& text) {
    std::string utf8;
    AppendUtf8FromWindows1252(utf8, text, EControls::kAsHex);
    std::string html;
    html.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        default:
            html += c;
        }
    }
    return html;
}

std::string TimelineSvg(const CTargetFacts& target, time_t from, time_t to) {
    const double scale = kWidth / static_cast<double>(std::max<time_t>(to - from, 1));
    const auto x = [&](time_t t) { return static_cast<double>(t - from) * scale; };
    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"timeline\" viewBox=\"0 0 " +
        Number(kWidth) + " 10\" preserveAspectRatio=\"none\">";
    svg +=
        Rect(x(target.m_tFirst), x(target.m_tLast), target.HasAnswers() ? "#2e7d32" : "#9e9e9e",
             (target.HasAnswers() ? "Answered from " : "Records (failures only) from ") +
                 FormatLocalTime(target.m_tFirst) + " to " + FormatLocalTime(target.m_tLast) +
                 (target.HasAnswers() ? ", available " + FormatPercent(target.Availability()) + " %"
                                      : std::string()));
    const std::vector<CReportSpan>& spans = target.Spans();
    for (size_t i = 0; i < spans.size();) {
        // Merge the spans that follow while they touch at this scale.
        size_t j = i + 1;
        int64_t seconds = spans[i].Seconds(), records = spans[i].m_nRecords;
        while (j < spans.size() && x(spans[j].m_tStart) - x(spans[j - 1].m_tEnd) < kFinest) {
            seconds += spans[j].Seconds();
            records += spans[j].m_nRecords;
            ++j;
        }
        svg += Rect(x(spans[i].m_tStart), x(spans[j - 1].m_tEnd), "#c62828",
                    SpanTitle(target, spans[i], spans[j - 1], j - i, seconds, records));
        i = j;
    }
    return svg + "</svg>";
}
