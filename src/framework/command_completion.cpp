// SPDX-License-Identifier: Apache-2.0
#include "framework/command_completion.h"

#include <algorithm>

namespace {
// The words the script is built from stand between @ signs.
constexpr const char* kScript =
    R"(# bash completion for @PROGRAM@, written from the options its commands declare.

# Fills COMPREPLY with the paths that begin with $cur: with a pattern, the
# folders and the files that match it; without one, every file.
_@FUNCTION@_files() {
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    if [[ $1 ]]; then
        COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X "!$1" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}

_@FUNCTION@() {
    local cur=${COMP_WORDS[COMP_CWORD]} words= options= valued= operands= opt= rest= n=0 i w
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W '@COMMANDS@ --help --version' -- "$cur"))
        return
    fi
    case ${COMP_WORDS[1]} in
@OPTIONS@    *) return ;;
    esac
    # The words before the cursor: options, their values ("--name=VALUE"
    # comes as three words), "--" and the operands, counted in n.
    for ((i = 2; i < COMP_CWORD; i++)); do
        w=${COMP_WORDS[i]}
        if [[ $opt ]]; then
            [[ $w == = ]] || opt=
        elif [[ $rest || $w != -?* ]]; then
            ((n++))
        elif [[ $w == -- ]]; then
            rest=1
        elif [[ " $valued " == *" $w "* ]]; then
            opt=$w
        fi
    done
    if [[ $opt ]]; then
        [[ $cur == = ]] && cur=
        case ${COMP_WORDS[1]}$opt in
@VALUES@        esac
    elif [[ ! $rest && $cur == -* ]]; then
        words="$options --help"
    else
        local kinds=($operands)
        ((${#kinds[@]})) || return
        w=${kinds[n]}
        if [[ ! $w ]]; then
            w=${kinds[${#kinds[@]} - 1]}
            [[ $w == *... ]] || return
        fi
        case ${w%...} in
@OPERANDS@        esac
        return
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}
complete -F _@FUNCTION@ @PROGRAM@
)";

void Replace(std::string& text, const std::string& mark, const std::string& by) {
    for (size_t at; (at = text.find(mark)) != std::string::npos;)
        text.replace(at, mark.size(), by);
}

// "name" or "name1 name2" with one more.
void Add(std::string& list, const std::string& name) {
    list += (list.empty() ? "" : " ") + name;
}
} // namespace

std::string BashCompletion(const std::string& program,
                           std::span<const SCommandSpec* const> commands,
                           std::span<const SOperandFiles> operandFiles) {
    std::string names, arms, values, operands;
    for (const SCommandSpec* command : commands) {
        const std::string name = command->pszName;
        Add(names, name);
        std::string options, valued;
        for (std::span<const SCommandOption> table : {command->options, command->sharedOptions}) {
            for (const SCommandOption& option : table) {
                const std::string arm = "        " + name + option.pszName + ") ";
                Add(options, option.pszName);
                if (option.value != EOptionValue::kFlag)
                    Add(valued, option.pszName);
                std::string words = option.pszValueName;
                std::replace(words.begin(), words.end(), '|', ' ');
                if (option.value == EOptionValue::kChoice)
                    values += arm + "words='" + words + "' ;;\n";
                if (option.value == EOptionValue::kPath)
                    values += arm + "_@FUNCTION@_files; return ;;\n";
            }
        }
        arms += "    " + name + ") options='" + options + "' valued='" + valued + "' operands='" +
                command->pszOperands + "' ;;\n";
    }
    for (const SOperandFiles& files : operandFiles)
        operands += "        " + std::string(files.pszOperand) + ") _@FUNCTION@_files " +
                    (*files.pszPattern ? "'" + std::string(files.pszPattern) + "'" : "") + " ;;\n";
    std::string function = program;
    std::replace(function.begin(), function.end(), '-', '_');
    std::string script = kScript;
    Replace(script, "@OPTIONS@", arms);
    Replace(script, "@VALUES@", values);
    Replace(script, "@OPERANDS@", operands);
    Replace(script, "@COMMANDS@", names);
    Replace(script, "@FUNCTION@", function);
    Replace(script, "@PROGRAM@", program);
    return script;
}
