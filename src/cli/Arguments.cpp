#include "Arguments.h"

#include <algorithm>
#include <cstdint>

namespace twl::cli {
namespace {

const OptionDef* FindOption(std::span<const OptionDef> options, const std::string& name) {
    const auto it = std::find_if(options.begin(), options.end(),
                                 [&](const OptionDef& option) { return option.name == name; });
    return it == options.end() ? nullptr : &*it;
}

} // namespace

std::optional<std::string> ParsedArguments::Value(const std::string& name) const {
    const auto it = options.find(name);
    if (it == options.end())
        return std::nullopt;
    return it->second;
}

ParsedArguments ParseArguments(std::span<const std::string> words,
                               std::span<const OptionDef> options) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            parsed.positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const OptionDef* option = FindOption(options, name);
        if (option == nullptr) {
            parsed.error = "unknown option " + name;
            return parsed;
        }
        if (!option->takesValue) {
            if (equals != std::string::npos) {
                parsed.error = "option " + name + " takes no value";
                return parsed;
            }
            parsed.options[name] = "";
        } else if (equals != std::string::npos) {
            parsed.options[name] = word.substr(equals + 1);
        } else if (i + 1 < words.size()) {
            parsed.options[name] = words[++i];
        } else {
            parsed.error = "option " + name + " needs a value";
            return parsed;
        }
    }
    return parsed;
}

std::optional<std::uint64_t> ParseUnsigned(const std::string& text, std::uint64_t max) {
    if (text.empty() || text.size() > 20)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (digit > max || value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace twl::cli
