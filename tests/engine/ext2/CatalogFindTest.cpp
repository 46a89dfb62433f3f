// Find over a catalogue: which names a pattern matches, and the order in which Find and Find
// Next show the matches.

#include "ext2/CatalogFind.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

TEST(MatchName, PatternsMatchWholeNamesWithCaseOnlyWhereAsked) {
    struct Case {
        const char* pattern;
        const char* name;
        bool exact;  // matches with case
        bool folded; // matches ignoring case
    };
    const Case cases[] = {
        {"abc", "abc", true, true},
        {"abc", "abcd", false, false}, // whole names only
        {"a?c", "aXc", true, true},
        {"a?c", "ac", false, false},
        {"a*", "a", true, true},
        {"*.txt", "a.txt", true, true},
        {"*.txt", "a.txt.bak", false, false},
        {"*.txt", "a.tx", false, false},
        {"*a*b", "xaxxab", true, true},
        {"**", "", true, true},
        {"?", "é", true, true},    // one character, two bytes
        {"?", "\xff", true, true}, // a stray byte is one character
        {"ab", "AB", false, true},
        {"[", "{", false, false}, // only letters lose their case
        {"@", "`", false, false},
        {"ÉTÉ", "été", false, true},
        {"straße", "STRASSE", false, false}, // one character never matches two
        {"*", "a\nb", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchName(c.pattern, c.name, false), c.exact) << c.pattern << " " << c.name;
        EXPECT_EQ(MatchName(c.pattern, c.name, true), c.folded) << c.pattern << " " << c.name;
    }
}

// root: a.txt, docs/ (a.txt, notes/ (A.TXT)), a.txt.d/ (inner.txt), b.txt
struct Sample {
    Catalog catalog;
    NodeId Folder(NodeId parent, const char* name, NodeId after) {
        const NodeId id = Add(parent, name, after);
        catalog.Node(id).type = kTypeFolder;
        return id;
    }
    NodeId Add(NodeId parent, const char* name, NodeId after) {
        const NodeId id = catalog.AddNode(name);
        catalog.Node(id).type = kTypeFile;
        if (after == kNoNode) {
            const NodeId header = catalog.AddNode("");
            catalog.Node(header).is_header = 1;
            catalog.AttachChildList(parent, header);
            catalog.LinkSibling(header, id);
        } else {
            catalog.LinkSibling(after, id);
        }
        catalog.Node(id).parent = parent;
        return id;
    }
    NodeId a, docs, docsA, notes, notesA, dotted, inner, b;
    Sample() {
        a = Add(kRootAnchor, "a.txt", kNoNode);
        docs = Folder(kRootAnchor, "docs", a);
        docsA = Add(docs, "a.txt", kNoNode);
        notes = Folder(docs, "notes", docsA);
        notesA = Add(notes, "A.TXT", kNoNode);
        dotted = Folder(kRootAnchor, "a.txt.d", docs);
        inner = Add(dotted, "inner.txt", kNoNode);
        b = Add(kRootAnchor, "b.txt", dotted);
    }
    std::vector<NodeId> All(std::string_view pattern, bool ignoreCase) {
        CatalogFinder finder(catalog, pattern, ignoreCase);
        std::vector<NodeId> found;
        for (NodeId id = finder.Next(); id != kNoNode; id = finder.Next())
            found.push_back(id);
        EXPECT_EQ(finder.Next(), kNoNode); // and stays done
        return found;
    }
};

TEST(CatalogFinder, MatchesComeDepthFirstAndAMatchedFolderStandsForItsContent) {
    Sample s;
    struct Case {
        const char* pattern;
        bool ignoreCase;
        std::vector<NodeId> found;
    };
    const Case cases[] = {
        {"a.txt", false, {s.a, s.docsA}},
        {"a.txt", true, {s.a, s.docsA, s.notesA}},
        {"*.txt", false, {s.a, s.docsA, s.inner, s.b}},
        {"a.txt*", false, {s.a, s.docsA, s.dotted}}, // inner.txt is inside the match
        {"*", false, {s.a, s.docs, s.dotted, s.b}},
        {"docs/*/*", true, {s.notesA}}, // a path from the volume root
        {"/docs/a.txt", false, {s.docsA}},
        {"missing", true, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s.All(c.pattern, c.ignoreCase), c.found) << c.pattern;
}

TEST(CatalogFinder, ALoopingCatalogueEndsTheWalk) {
    Sample s;
    s.catalog.Node(s.notesA).next_sibling = s.docsA; // damage: the list leads back up
    EXPECT_LE(s.All("*", false).size(), s.catalog.NodeCount());
    CatalogFinder finder(s.catalog, "nothing", false);
    EXPECT_EQ(finder.Next(), kNoNode);
}

} // namespace
} // namespace twl
