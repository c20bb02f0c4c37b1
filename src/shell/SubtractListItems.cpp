#include "shell/ListView.h"
#include "shell/Main.h"

namespace shell {

void SubtractListItems(ListView& shrink, const ListView& compare, platform::Process& process) {
    std::vector<int> positions;
    const int count = shrink.count();
    for (int i = 1; i <= count; ++i) {
        for (int j = 1; j <= compare.count(); ++j) {
            process.processEvents();
            if (compare.itemText(j) == shrink.itemText(i)) positions.push_back(i);
        }
    }
    positions = DistinctValues(positions, process);
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) shrink.removeItem(*it);
}

}  // namespace shell
