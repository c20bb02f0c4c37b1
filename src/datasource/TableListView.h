#pragma once
// The wizard's table list as the list the discovery fills: each entry reads
// the table's name, remembers its place and shows its folder as a tool tip.

#include "datasource/Paradox.h"
#include "shell/ListView.h"

namespace datasource {

// AddTablesToParadoxListbox into a list view.
void AddTablesToParadoxListbox(shell::ListView& list, const QString& folder, platform::Platform& os);

// The place the entry at `position` of a list AddTablesToParadoxListbox filled
// remembers. Throws std::out_of_range for a position outside the list.
TablePlace PlaceOfEntry(const shell::ListView& list, int position);

}  // namespace datasource
