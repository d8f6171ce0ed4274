#include "store/IDRules.h"

#include <cstdio>
#include <optional>

#include "base/Cp1252.h"
#include "base/Utf8.h"

namespace {

std::u32string_view One(const char32_t& c) {
    return {&c, 1};
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();)
        if (!NextCodePoint(text, i)) return false;
    return true;
}

// Why a character may not stand in a stored text, or "" when it may; `line` names the
// kind of text for the control-character case.
std::string CharacterFault(char32_t c, const char* line) {
    if (c < U' ' || (c >= 0x7F && c <= 0x9F))
        return " holds a control character (" + CodePointText(c) + "); " + line;
    if (!Cp1252Code(c))
        return " holds " + QuotedText(One(c)) + " (" + CodePointText(c) +
               "), which is not in Windows-1252";
    return "";
}

}  // namespace

bool IDBoxAcceptsCode(unsigned char code) {
    if (code >= 33 && code <= 44) return false;    // ! to ,
    if (code >= 46 && code <= 47) return false;    // . and /
    if (code >= 58 && code <= 64) return false;    // : to @
    if (code >= 91 && code <= 96) return false;    // [ to `
    if (code >= 123 && code <= 150) return false;  // { up to 150
    return true;
}

bool IDBoxAcceptsCharacter(char32_t codePoint) {
    const std::optional<unsigned char> code = Cp1252Code(codePoint);
    return code.has_value() && IDBoxAcceptsCode(*code);
}

TTypedText FilterTypedText(std::string_view utf8) {
    TTypedText text;
    for (char32_t cp : DecodeUtf8(utf8)) {
        if (IDBoxAcceptsCharacter(cp))
            text.Accepted.push_back(cp);
        else
            ++text.Rejected;
    }
    return text;
}

std::vector<TTextFault> IDFaults(std::u32string_view id) {
    std::vector<TTextFault> faults;
    if (id.size() > static_cast<std::size_t>(kIDLength))
        faults.push_back({TTextFault::kWholeText, " is " + std::to_string(id.size()) +
                                                      " characters long; an ID has at most 16"});
    for (std::size_t k = 0; k < id.size(); ++k) {
        // The key filter lets control codes through for the keys that edit (Backspace
        // and the like); as text in an ID they are refused.
        std::string why = CharacterFault(id[k], "an ID is one line of text");
        if (why.empty() && !IDBoxAcceptsCharacter(id[k]))
            why = " holds " + QuotedText(One(id[k])) + ", which the ID boxes do not take";
        if (!why.empty()) faults.push_back({k, std::move(why)});
    }
    return faults;
}

std::string_view WithoutCellPadding(std::string_view id) {
    while (!id.empty() && id.back() == ' ') id.remove_suffix(1);
    return id;
}

bool IsBlankID(std::string_view id) {
    return WithoutCellPadding(id).empty();
}

TNameJudgement JudgeNewGroupName(std::string_view utf8Name) {
    const std::string name(utf8Name);
    // An empty name would make an entry that can never be chosen, loaded or deleted.
    if (name.empty()) return {TNameVerdict::TurnedAway, "a group needs a name"};
    if (name == "New")
        return {TNameVerdict::TurnedAway,
                "\"New\" is turned away as a group name, as by the New button"};
    if (!IsUtf8(name)) return {TNameVerdict::Refused, "the group name is not UTF-8 text"};
    const std::u32string chars = DecodeUtf8(name);
    if (chars.size() > static_cast<std::size_t>(kGroupNameLength))
        return {TNameVerdict::Refused, name + " is more than 30 characters please reduce it"};
    const std::string described = "the group name " + QuotedText(chars);
    for (char32_t c : chars) {
        std::string why = CharacterFault(c, "a group name is one line of text");
        // The name goes into its ID list table's file name, where these would reach
        // into another folder.
        if (why.empty() && (c == U'/' || c == U'\\'))
            why = " holds " + QuotedText(One(c)) +
                  ", which a group name may not hold (it becomes part of a file name)";
        if (!why.empty()) return {TNameVerdict::Refused, described + why};
    }
    return {};
}

std::string QuotedText(std::u32string_view text) {
    std::string out = "\"";
    for (char32_t c : text) {
        if (c >= U' ') {
            AppendUtf8(out, c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out + "\"";
}

std::string CodePointText(char32_t c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
    return buffer;
}
