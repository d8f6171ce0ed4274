#include "store/IDRules.h"

#include <cstdio>
#include <optional>

#include "base/Cp1252.h"
#include "base/Utf8.h"
#include "base/WindowsNames.h"

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

// The upper-case letter of a Windows-1252 letter, as Windows folds file names; any
// other character as it is.
char32_t UpperLetter(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // à to þ, not ÷
    switch (c) {
        case 0xFF:  // ÿ
            return 0x178;
        case 0x161:  // š
            return 0x160;
        case 0x153:  // œ
            return 0x152;
        case 0x17E:  // ž
            return 0x17D;
        default:
            return c;
    }
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
        const std::string why = CharacterFault(c, "a group name is one line of text");
        if (!why.empty()) return {TNameVerdict::Refused, described + why};
    }
    // The name goes into its ID list table's file name, on whichever PC the store ends up.
    const std::string why = WindowsFileNameFault(chars);
    if (!why.empty()) return {TNameVerdict::Refused, described + why};
    return {};
}

std::string WindowsFileNameFault(std::u32string_view name) {
    static constexpr std::u32string_view kReserved = U"<>:\"/\\|?*";
    for (char32_t c : name) {
        if (c < U' ')
            return " holds a control character (" + CodePointText(c) +
                   "), which Windows does not allow in a file name";
        if (kReserved.find(c) != std::u32string_view::npos)
            return " holds " + QuotedText(One(c)) + ", which Windows does not allow in a file name";
    }
    if (!name.empty() && name.back() == U'.')
        return " ends in a dot, which Windows drops from a file name";
    if (!name.empty() && name.back() == U' ')
        return " ends in a space, which Windows drops from a file name";
    const std::u32string device = WindowsDeviceName(name);
    if (!device.empty())
        return " names the Windows device " + QuotedText(device) +
               ", which cannot be a file name, with or without an extension";
    return "";
}

std::string FileNameCaseKey(std::string_view utf8Name) {
    std::string key;
    key.reserve(utf8Name.size());  // folding keeps the length of every letter it folds
    for (std::size_t i = 0; i < utf8Name.size();) {
        // Most names are ASCII, and a store may list thousands of them.
        const unsigned char byte = static_cast<unsigned char>(utf8Name[i]);
        if (byte < 0x80) {
            key += static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 0x20 : byte);
            ++i;
            continue;
        }
        const std::size_t start = i;
        if (const std::optional<char32_t> c = NextCodePoint(utf8Name, i))
            AppendUtf8(key, UpperLetter(*c));
        else
            key.append(utf8Name.substr(start, i - start));
    }
    return key;
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
