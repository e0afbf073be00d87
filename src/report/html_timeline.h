// SPDX-License-Identifier: Apache-2.0
// Pieces of the report's web page: text made safe for XHTML, and the
// timeline of one target as inline SVG.
#pragma once

#include "report/report_facts.h"

#include <string>

// `text` as XHTML character data or attribute value: control bytes shown as
// \xNN, markup characters as entities, and bytes of 0x80 and above as
// character references of the same value (the log's text read as Latin-1),
// so the page is plain ASCII.
std::string HtmlText(const std::string& text);

// An <svg> bar for `target` over the time from `from` to `to`: its records'
// span in green (or grey when the log holds no answers), each outage or
// failure run in red with its times in a <title>. Spans that would touch at
// the drawing's scale are drawn as one, so the size grows with the outages
// that can be told apart, not with the records.
std::string TimelineSvg(const CTargetFacts& target, time_t from, time_t to);
