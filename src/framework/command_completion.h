// SPDX-License-Identifier: Apache-2.0
// The bash completion of a program's commands, written from their tables so
// that it offers exactly what they take.
#pragma once

#include "framework/command_line.h"

// An operand whose words are paths: "LIST" and the pattern of the files it
// names, "*.osl"; an empty pattern for any file.
struct SOperandFiles {
    const char* pszOperand;
    const char* pszPattern;
};

// The script for bash: the commands (and --help, --version), each one's
// options (the words of its choice options, the files of its path options)
// and operands.
std::string BashCompletion(const std::string& program,
                           std::span<const SCommandSpec* const> commands,
                           std::span<const SOperandFiles> operandFiles);
