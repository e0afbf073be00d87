// SPDX-License-Identifier: Apache-2.0
// The report's forms: a text for people, CSV for spreadsheets, JSON for
// scripts, and a web page with a timeline per target. A log's addresses are
// Windows-1252 bytes: the text report shows them as the terminal can
// (terminal_text.h), CSV and the page carry them in UTF-8 whatever the
// locale, and JSON keeps one character per byte (json_text.h).
#pragma once

#include "report/report_facts.h"

#include <string>

std::string TextReport(const CReport& report);
std::string CsvReport(const CReport& report);
std::string JsonReport(const CReport& report);
std::string HtmlReport(const CReport& report);

// For the terminal, when the logs held lines that are not records: "N lines
// are not records and were skipped (the first: PATH line L)".
std::string SkippedLinesNote(const CReport& report);
