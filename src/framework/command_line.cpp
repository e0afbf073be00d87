// SPDX-License-Identifier: Apache-2.0
#include "framework/command_line.h"

#include "framework/integer_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr size_t kWidth = 80;  // the longest line of --help
constexpr size_t kColumn = 22; // where the options' help begins, at most

template <class Each> void ForEachOption(const SCommandSpec& command, Each each) {
    for (std::span<const SCommandOption> options : {command.options, command.sharedOptions})
        for (const SCommandOption& option : options)
            each(option);
}

// `text` split at each `separator`: a choice's words, "on|off", a help's
// lines and their words.
std::vector<std::string> Words(const char* pszWords, char separator) {
    std::vector<std::string> words(1);
    for (const char* p = pszWords; *p; ++p) {
        if (*p == separator)
            words.emplace_back();
        else
            words.back().push_back(*p);
    }
    return words;
}

std::optional<double> ReadNumber(const SCommandOption& option, const std::string& text) {
    std::optional<double> value;
    if (option.value == EOptionValue::kInteger) {
        if (std::optional<int32_t> nValue = ReadIntegerText(text))
            value = *nValue;
    } else if (option.value == EOptionValue::kDecimal && !text.empty()) {
        char* pEnd = nullptr;
        errno = 0;
        const double dValue = std::strtod(text.c_str(), &pEnd);
        if (std::isfinite(dValue) && errno == 0 && *pEnd == '\0')
            value = dValue;
    }
    if (value && (*value < option.dMin || *value > option.dMax))
        value.reset();
    return value;
}

std::optional<int> WordIndex(const SCommandOption& option, const std::string& text) {
    const std::vector<std::string> words = Words(option.pszValueName, '|');
    const auto it = std::find(words.begin(), words.end(), text);
    return it == words.end() ? std::nullopt : std::optional<int>(int(it - words.begin()));
}

bool IsValid(const SCommandOption& option, const std::string& text) {
    switch (option.value) {
    case EOptionValue::kInteger:
    case EOptionValue::kDecimal:
        return ReadNumber(option, text).has_value();
    case EOptionValue::kChoice:
        return WordIndex(option, text).has_value();
    default:
        return !option.pfnValid || option.pfnValid(text);
    }
}

// 3600000 as it is, 0.001 as %g writes it.
std::string NumberText(double dValue) {
    char text[32];
    std::snprintf(text, sizeof text, dValue == std::trunc(dValue) ? "%.0f" : "%g", dValue);
    return text;
}

// "1 to 1000".
std::string Range(const SCommandOption& option) {
    return NumberText(option.dMin) + " to " + NumberText(option.dMax);
}

std::string Expected(const SCommandOption& option) {
    switch (option.value) {
    case EOptionValue::kInteger:
        return "an integer from " + Range(option);
    case EOptionValue::kDecimal:
        return "a number from " + Range(option);
    case EOptionValue::kChoice: {
        const std::vector<std::string> words = Words(option.pszValueName, '|');
        std::string text = words.front();
        for (size_t i = 1; i < words.size(); ++i)
            text += (i + 1 == words.size() ? " or " : ", ") + words[i];
        return text;
    }
    default:
        return option.pszExpected;
    }
}

// "no operands", "1 operand", "2 operands".
std::string Count(size_t n, const char* pszWhat) {
    return (n ? std::to_string(n) : std::string("no")) + " " + pszWhat + (n == 1 ? "" : "s");
}

// Appends `words` to `text` in lines of at most kWidth characters (a longer
// word has one of its own); a line that is continued begins with `nIndent`
// blanks, and `line` is the line begun so far.
void Wrap(std::string& text, std::string line, size_t nIndent,
          const std::vector<std::string>& words) {
    bool bFirst = line.empty() || line.back() == ' ';
    for (const std::string& word : words) {
        if (word == "\n" || (!bFirst && line.size() + 1 + word.size() > kWidth)) {
            text += line + "\n";
            line.assign(nIndent, ' ');
            bFirst = true;
        }
        if (word != "\n") {
            line += (bFirst ? "" : " ") + word;
            bFirst = false;
        }
    }
    text += line + "\n";
}

std::string Label(const SCommandOption& option) {
    return option.value == EOptionValue::kFlag
               ? option.pszName
               : option.pszName + std::string(" ") + option.pszValueName;
}

// "  --count N        probe each target N times (1 to 1000; default 1)".
std::string OptionLines(const SCommandSpec& command) {
    size_t nColumn = 0;
    ForEachOption(command, [&](const SCommandOption& option) {
        const size_t nLabel = 4 + Label(option).size();
        if (nLabel <= kColumn)
            nColumn = std::max(nColumn, nLabel);
    });
    std::string text;
    ForEachOption(command, [&](const SCommandOption& option) {
        std::vector<std::string> words;
        for (const std::string& line : Words(option.pszHelp, '\n')) {
            if (!words.empty())
                words.push_back("\n");
            for (std::string& word : Words(line.c_str(), ' '))
                words.push_back(std::move(word));
        }
        // The range goes on one line.
        if (option.value == EOptionValue::kInteger || option.value == EOptionValue::kDecimal)
            words.push_back(
                "(" + Range(option) +
                (std::isnan(option.dDefault) ? "" : "; default " + NumberText(option.dDefault)) +
                ")");
        std::string line = "  " + Label(option) + "  ";
        line.resize(std::max(line.size(), nColumn), ' ');
        Wrap(text, line, nColumn, words);
    });
    return text;
}
} // namespace

const SCommandOption* CCommandLine::Find(const std::string& name) const {
    const SCommandOption* pFound = nullptr;
    ForEachOption(*m_pCommand, [&](const SCommandOption& option) {
        if (name == option.pszName)
            pFound = &option;
    });
    return pFound;
}

bool CCommandLine::Parse(const SCommandSpec& command, const std::vector<std::string>& args,
                         SCommandLineError& error) {
    m_pCommand = &command;
    const auto fail = [&](std::string what, std::string why, bool bUsage = true) {
        error = {std::move(what), std::move(why), bUsage};
        return false;
    };
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == "--") {
            m_operands.insert(m_operands.end(), it + 1, args.end());
            break;
        }
        if (it->size() < 2 || (*it)[0] != '-') {
            m_operands.push_back(*it);
            continue;
        }
        const size_t nEq = it->find('=');
        const std::string name = it->substr(0, nEq);
        const SCommandOption* pOption = Find(name);
        const bool bFlag = pOption && pOption->value == EOptionValue::kFlag;
        if (!pOption)
            return fail(name, "unknown option");
        if (bFlag && nEq != std::string::npos)
            return fail(name, "takes no value");
        if (!bFlag && nEq == std::string::npos && it + 1 == args.end())
            return fail(name, "needs a value");
        const std::string value = bFlag                      ? ""
                                  : nEq != std::string::npos ? it->substr(nEq + 1)
                                                             : *++it;
        if (!IsValid(*pOption, value))
            return fail(name, "expected " + Expected(*pOption) + ", got \"" + value + "\"", false);
        m_values.emplace_back(pOption, value);
    }
    for (const auto& [pOption, value] : m_values) {
        if (pOption->pszNeeds && !Has(pOption->pszNeeds))
            return fail(pOption->pszName, std::string("needs ") + pOption->pszNeeds);
        for (const auto& [pOther, other] : m_values)
            if (pOption->nGroup && pOther->nGroup == pOption->nGroup && pOther != pOption)
                return fail(pOption->pszName,
                            std::string("cannot be given with ") + pOther->pszName);
    }
    const std::vector<std::string> operands = Words(command.pszOperands, ' ');
    const size_t nWanted = *command.pszOperands ? operands.size() : 0;
    const bool bMore = std::string_view(command.pszOperands).ends_with("...");
    if (m_operands.size() < nWanted || (m_operands.size() > nWanted && !bMore))
        return fail("", "expected " + (nWanted ? command.pszOperands : Count(0, "operand")) +
                            ", got " + Count(m_operands.size(), "operand"));
    return true;
}

std::optional<std::string> CCommandLine::Value(const std::string& name) const {
    for (auto it = m_values.rbegin(); it != m_values.rend(); ++it)
        if (name == it->first->pszName)
            return it->second;
    return std::nullopt;
}

std::vector<std::string> CCommandLine::Values(const std::string& name) const {
    std::vector<std::string> values;
    for (const auto& [pOption, value] : m_values)
        if (name == pOption->pszName)
            values.push_back(value);
    return values;
}

std::optional<double> CCommandLine::Number(const std::string& name) const {
    const SCommandOption* pOption = Find(name);
    if (std::optional<std::string> text = Value(name))
        return ReadNumber(*pOption, *text);
    return pOption && !std::isnan(pOption->dDefault) ? std::optional(pOption->dDefault)
                                                     : std::nullopt;
}

std::optional<int32_t> CCommandLine::Integer(const std::string& name) const {
    const std::optional<double> value = Number(name);
    return value ? std::optional(static_cast<int32_t>(*value)) : std::nullopt;
}

std::optional<int> CCommandLine::Choice(const std::string& name) const {
    const std::optional<std::string> text = Value(name);
    return text ? WordIndex(*Find(name), *text) : std::nullopt;
}

bool AsksForHelp(const std::vector<std::string>& args) {
    const auto end = std::find(args.begin(), args.end(), "--");
    return std::find(args.begin(), end, "--help") != end;
}

bool IsFileName(const std::string& text) {
    return !text.empty();
}

std::string Synopsis(const SCommandSpec& command, const std::string& prefix) {
    std::vector<std::string> items;
    const SCommandOption* pLast = nullptr;
    ForEachOption(command, [&](const SCommandOption& option) {
        const std::string label = Label(option);
        if (option.nGroup && pLast && pLast->nGroup == option.nGroup)
            items.back().insert(items.back().size() - 1, " | " + label);
        else if (option.pszNeeds && !items.empty())
            items.back().insert(items.back().size() - 1, " [" + label + "]");
        else
            items.push_back("[" + label + "]" + (option.bRepeat ? "..." : ""));
        pLast = &option;
    });
    for (std::string& operand : Words(command.pszOperands, ' '))
        if (!operand.empty())
            items.push_back(std::move(operand));
    std::string text;
    Wrap(text, prefix + command.pszName, prefix.size() + std::strlen(command.pszName) + 1, items);
    return text;
}

std::string HelpText(const SCommandSpec& command, const std::string& program) {
    return Synopsis(command, "usage: " + program + " ") + command.pszAbout + OptionLines(command) +
           command.pszNotes;
}
