#include "app/state/DebugLogMirror.h"

#include <memory>

#include "app/state/PublishedState.h"

namespace kt {

void mirrorDebugLog(PublishedState& state, std::function<void(const std::string& line)> write) {
    // A new line makes the log longer; cutting it back to its cap makes it
    // shorter and repeats the same first line, which is not a new one.
    auto previousSize = std::make_shared<std::size_t>(state.debugLog.get().size());
    state.debugLog.observe([&state, previousSize, write = std::move(write)] {
        const std::string& text = state.debugLog.get();
        const bool grew = text.size() > *previousSize;
        *previousSize = text.size();
        if (grew)
            write(text.substr(0, text.find('\n')));
    });
}

}  // namespace kt
