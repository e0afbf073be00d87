// SPDX-License-Identifier: Apache-2.0
// A program's commands as data: each one's options, declared once with their
// kind of value, range, default and help line, and its operands. From them
// come the reading of a command line with the checks of every value, the
// usage lines and --help, and (command_completion.h) the shell's completion.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class EOptionValue : uint8_t {
    kFlag,    // takes no value
    kInteger, // read as the window's integer fields read it, from dMin to dMax
    kDecimal, // a decimal number from dMin to dMax
    kChoice,  // one of the words of pszValueName, "on|off"
    kText,    // any text that pfnValid, when set, takes
    kPath,    // the same, a file's path (the shell completes it as one)
};

// One option, "--name" or "--name VALUE" (also "--name=VALUE"), as the
// functions below make it.
struct SCommandOption {
    const char* pszName;
    EOptionValue value;
    const char* pszValueName;  // "N" in "--count N"; a choice's words, "on|off"
    const char* pszHelp;       // its line of --help, wrapped there; "\n" breaks it
    double dMin = 0, dMax = 0; // the range of a number
    double dDefault = NAN;     // a number's value when the option is not given
    bool (*pfnValid)(const std::string& text) = nullptr; // what a kText or kPath value may be
    const char* pszExpected = "";                        // and what it wants, for the error
    int nGroup = 0;                 // the options of one group (not 0) exclude each other
    const char* pszNeeds = nullptr; // an option that must be given with this one
    bool bRepeat = false;           // given more than once, each value counts

    constexpr SCommandOption InGroup(int n) const { return With(&SCommandOption::nGroup, n); }
    constexpr SCommandOption Needs(const char* psz) const {
        return With(&SCommandOption::pszNeeds, psz);
    }
    constexpr SCommandOption Repeatable() const { return With(&SCommandOption::bRepeat, true); }

private:
    template <class T> constexpr SCommandOption With(T SCommandOption::*pField, T value) const {
        SCommandOption option = *this;
        option.*pField = value;
        return option;
    }
};

constexpr SCommandOption FlagOption(const char* pszName, const char* pszHelp) {
    return {pszName, EOptionValue::kFlag, "", pszHelp};
}
constexpr SCommandOption IntegerOption(const char* pszName, const char* pszValueName,
                                       const char* pszHelp, double dMin, double dMax,
                                       double dDefault = NAN) {
    return {pszName, EOptionValue::kInteger, pszValueName, pszHelp, dMin, dMax, dDefault};
}
constexpr SCommandOption DecimalOption(const char* pszName, const char* pszValueName,
                                       const char* pszHelp, double dMin, double dMax) {
    return {pszName, EOptionValue::kDecimal, pszValueName, pszHelp, dMin, dMax};
}
constexpr SCommandOption ChoiceOption(const char* pszName, const char* pszWords,
                                      const char* pszHelp) {
    return {pszName, EOptionValue::kChoice, pszWords, pszHelp};
}
// Text that `pfnValid` takes, when given; `pszExpected` says what that is.
constexpr SCommandOption TextOption(const char* pszName, const char* pszValueName,
                                    const char* pszHelp,
                                    bool (*pfnValid)(const std::string&) = nullptr,
                                    const char* pszExpected = "") {
    SCommandOption option{pszName, EOptionValue::kText, pszValueName, pszHelp};
    option.pfnValid = pfnValid;
    option.pszExpected = pszExpected;
    return option;
}
constexpr SCommandOption PathOption(const char* pszName, const char* pszValueName,
                                    const char* pszHelp,
                                    bool (*pfnValid)(const std::string&) = nullptr,
                                    const char* pszExpected = "") {
    SCommandOption option = TextOption(pszName, pszValueName, pszHelp, pfnValid, pszExpected);
    option.value = EOptionValue::kPath;
    return option;
}
// For pfnValid: a file's name, not empty.
bool IsFileName(const std::string& text);

// One command: its name, options, operands ("LIST ADDRESS"; "LOG..." one or
// more) and the help around the option lines.
struct SCommandSpec {
    const char* pszName;
    std::span<const SCommandOption> options;
    std::span<const SCommandOption> sharedOptions; // listed after its own
    const char* pszOperands;
    const char* pszAbout; // the paragraph after the usage lines
    const char* pszNotes; // the lines after the options
};

// A command line the command does not take: what is wrong ("--count", or
// empty for the operands) and why; bUsage when the usage lines may help.
struct SCommandLineError {
    std::string strWhat, strWhy;
    bool bUsage = true;
};

// The options and operands of one command line, every value checked.
class CCommandLine {
public:
    // Reads `args`, the words after the command's name.
    bool Parse(const SCommandSpec& command, const std::vector<std::string>& args,
               SCommandLineError& error);

    bool Has(const std::string& name) const { return Value(name).has_value(); }
    // The value of the last occurrence of an option.
    std::optional<std::string> Value(const std::string& name) const;
    // The values of every occurrence of an option, in order.
    std::vector<std::string> Values(const std::string& name) const;
    // A number option's value, or its default when it is not given.
    std::optional<double> Number(const std::string& name) const;
    std::optional<int32_t> Integer(const std::string& name) const;
    // The place of a choice option's word among its words.
    std::optional<int> Choice(const std::string& name) const;
    const std::vector<std::string>& Operands() const { return m_operands; }

private:
    const SCommandOption* Find(const std::string& name) const;

    const SCommandSpec* m_pCommand = nullptr;
    std::vector<std::pair<const SCommandOption*, std::string>> m_values; // as given
    std::vector<std::string> m_operands;
};

// Whether `args` ask for --help: before "--", after which it is an operand.
bool AsksForHelp(const std::vector<std::string>& args);
// The usage lines, "PREFIXNAME [--json] LIST", wrapped under the first option.
std::string Synopsis(const SCommandSpec& command, const std::string& prefix);
// The command's --help: the usage lines (prefix "usage: PROGRAM "), the
// paragraph, the options' lines and the notes.
std::string HelpText(const SCommandSpec& command, const std::string& program);
