// SPDX-License-Identifier: Apache-2.0
// What a scheduled pass with a failure says: the window's popup, and the
// line `ostrel-cli watch` prints in its place.
#pragma once

inline constexpr const char kFailedPassText[] = "One or more connection failed!";
