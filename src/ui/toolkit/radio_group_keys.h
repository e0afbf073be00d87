// SPDX-License-Identifier: Apache-2.0
// The keyboard of a dialog's radio group: the group is one tab stop, its
// checked button (the first when none is checked); the arrow keys move the
// focus to the previous (Up, Left) or next (Down, Right) button of the group,
// round at its ends, and check that button as a click would.
#pragma once

#include <QAbstractButton>
#include <vector>

// Gives the buttons, in group order, that keyboard. With bTabStop false the
// group is no tab stop at all; the arrow keys work the same.
void AttachRadioGroupKeys(const std::vector<QAbstractButton*>& buttons, bool bTabStop);
