// SPDX-License-Identifier: GPL-3.0-or-later
// The resources of this library are compiled in by the build; this unit only anchors it.
namespace daxo {
int resourcesAnchor = 0;
}
