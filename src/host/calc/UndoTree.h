// Where the next change of a run goes in the run's undo group.
//
// Calc keeps at most its number of undo steps (100 unless the user set fewer) of the actions
// inside one undo group and silently drops the oldest beyond that, so one group holding a
// long command would not be undone whole. The run's group therefore holds its first
// kUndoFanOut actions directly and then one nested tree of groups after another, of depth
// 1, 2, 3, ...; every group holds at most kUndoFanOut (or, for the run's own group,
// kUndoFanOut plus the number of trees) entries, and Ctrl+Z still takes back the whole run
// in one step. Pure bookkeeping: the caller opens and closes the groups it is told to.
#pragma once

namespace gridmoor::calc {

struct UndoTree {
    static constexpr long kUndoFanOut = 16;

    long depth = 0;   // depth of the tree being filled; 0: the run's group itself
    long filled = 0;  // actions in that tree
    long capacity = kUndoFanOut;
    long open = 0;  // groups open inside the run's group

    // Places one more action, first calling leave() for each group to close (innermost
    // first) and enter() for each group to open. Each is counted only once its call
    // returned, so after a throw the tree still matches the groups open in Calc.
    template <class Leave, class Enter>
    void place(Leave&& leave, Enter&& enter) {
        if (depth == 0) {
            if (filled < capacity) {
                ++filled;
                return;
            }
            depth = 1;
            filled = 0;
        }
        if (filled == capacity) {
            for (; open > 0; --open) leave();
            ++depth;
            filled = 0;
            capacity *= kUndoFanOut;
        }
        // Close the groups that are full, innermost first, then open down to the actions.
        for (long size = kUndoFanOut; filled > 0 && open > 0 && filled % size == 0;
             size *= kUndoFanOut) {
            leave();
            --open;
        }
        for (; open < depth; ++open) enter();
        ++filled;
    }
};

}  // namespace gridmoor::calc
