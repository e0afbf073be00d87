// SPDX-License-Identifier: Apache-2.0
// The programs' name and version, as both answer --version.
#pragma once

// "ostrel VERSION", the version being the project's.
const char* VersionText();
