#pragma once

// Regular-file inodes that Turbo Scan's pass met without a deletion time and without a node
// in the catalogue. A directory listing that names one marks it found; the lost file search
// turns the rest into "InodeN" entries.

#include "ext2/Inode.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace twl {

struct LostFileCandidate {
    InodeNo inode = 0;
    bool found = false;
};

class LostFileCandidates {
public:
    // Candidates come in ascending inode order (the pass reads the tables in order).
    void Append(InodeNo inode) { m_candidates.push_back({inode, false}); }

    // Marks the candidate for `inode` found, if there is one.
    void MarkFound(InodeNo inode) {
        const auto it =
            std::lower_bound(m_candidates.begin(), m_candidates.end(), inode,
                             [](const LostFileCandidate& c, InodeNo n) { return c.inode < n; });
        if (it != m_candidates.end() && it->inode == inode)
            it->found = true;
    }

    std::size_t UnfoundCount() const {
        return static_cast<std::size_t>(std::count_if(m_candidates.begin(), m_candidates.end(),
                                                      [](const auto& c) { return !c.found; }));
    }
    const std::vector<LostFileCandidate>& All() const { return m_candidates; }
    void Empty() { m_candidates = {}; }

private:
    std::vector<LostFileCandidate> m_candidates;
};

} // namespace twl
