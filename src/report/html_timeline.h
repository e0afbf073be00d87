// SPDX-License-Identifier: Apache-2.0
// Pieces of the report's web page: text made safe for XHTML, and the
// timeline of one target as inline SVG.
#pragma once

#include "report/report_facts.h"

#include <string>

// `text`, a log's Windows-1252 bytes, as XHTML character data or attribute
// value in UTF-8: control characters (and the five bytes Windows-1252 leaves
// undefined) as \xNN text, markup characters as entities, so nothing in it
// is markup or a control.
std::string HtmlText(const std::string& text);

// An <svg> bar for `target` over the time from `from` to `to`: its records'
// span in green (or grey when the log holds no answers), each outage or
// failure run in red with its times in a <title>. Spans that would touch at
// the drawing's scale are drawn as one, so the size grows with the outages
// that can be told apart, not with the records.
std::string TimelineSvg(const CTargetFacts& target, time_t from, time_t to);
