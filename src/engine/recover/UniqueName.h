#pragma once

// Free names for the items made in a folder: the asked name, else "name (2)", "name (3)", ...
// Each folder remembers, per asked name, the last number it gave out, so that many items
// asking for one name cost a try or two each, not one try per item that came before.

#include <functional>
#include <map>
#include <string>
#include <unordered_map>

namespace twl {

class UniqueNames {
public:
    // Makes the item under a name `make` accepts: make(name) returns 0 when it made it,
    // EEXIST when the name is taken (the next is tried), or another errno (given up).
    using Make = std::function<int(const std::string& name)>;
    struct Outcome {
        std::string name; // the name last tried: the item's name when error is 0
        int error = 0;
    };
    Outcome Find(int folder, const std::string& name, const Make& make);

    // The folder is finished: what it remembered goes.
    void Forget(int folder) { m_last.erase(folder); }

private:
    std::map<int, std::unordered_map<std::string, unsigned>> m_last;
};

} // namespace twl
