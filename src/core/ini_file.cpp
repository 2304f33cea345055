#include "ini_file.h"

#include "digits.h"

#include "safe_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace {

// The small letter of every Windows-1250 capital (ASCII, Latin-1 range and
// the Central European letters such as Š, Ť, Ž, Ł, Ą); other bytes map to
// themselves.
constexpr std::array<unsigned char, 256> lowercasebytes = [] {
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = static_cast<unsigned char>(b);
    for (int b = 'A'; b <= 'Z'; ++b)
        table[b] = static_cast<unsigned char>(b + 0x20);
    const std::pair<int, int> pairs[] = {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E},
                                         {0x8F, 0x9F}, {0xA3, 0xB3}, {0xA5, 0xB9}, {0xAA, 0xBA},
                                         {0xAF, 0xBF}, {0xBC, 0xBE}};
    for (auto [capital, small] : pairs)
        table[capital] = static_cast<unsigned char>(small);
    for (int b = 0xC0; b <= 0xDE; ++b) {
        if (b != 0xD7) // the multiplication sign
            table[b] = static_cast<unsigned char>(b + 0x20);
    }
    return table;
}();

bool isblank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isblank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isblank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view unquote(std::string_view text) {
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front())
        return text.substr(1, text.size() - 2);
    return text;
}

// The name between "[" and the first "]" of a section header line; nullopt
// when the line is none ("[" without "]" included).
std::optional<std::string_view> headername(std::string_view line) {
    std::string_view rest = trim(line);
    if (!rest.starts_with('['))
        return std::nullopt;
    std::size_t close = rest.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(rest.substr(1, close - 1));
}

// The key of a line "key=value"; nullopt for a line without "=" and for a
// comment, which starts with ";".
std::optional<std::string_view> keyname(std::string_view line) {
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    std::string_view key = trim(line.substr(0, equals));
    if (key.starts_with(';'))
        return std::nullopt;
    return key;
}

// The value of a key line as it is returned: trimmed, unquoted, whole.
std::string_view valueof(std::string_view line) {
    return unquote(trim(line.substr(line.find('=') + 1)));
}

// A written name or value must not split its line.
std::string oneline(std::string_view text) {
    std::string line(text);
    for (char &c : line) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return line;
}

std::string lookupname(std::string_view name) {
    return foldcase(trim(name));
}

std::optional<int> parseinteger(std::string_view text) {
    for (std::string_view prefix : {"0x", "0X", "$"}) {
        if (text.starts_with(prefix)) {
            std::optional<std::uint64_t> value =
                readdigits(text.substr(prefix.size()), 16, 0xFFFFFFFF);
            if (!value)
                return std::nullopt;
            return static_cast<int>(static_cast<std::uint32_t>(*value));
        }
    }
    bool negative = text.starts_with('-');
    if (negative || text.starts_with('+'))
        text.remove_prefix(1);
    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    std::optional<std::uint64_t> value = readdigits(text, 10, limit);
    if (!value)
        return std::nullopt;
    std::int64_t signedvalue = static_cast<std::int64_t>(*value);
    return static_cast<int>(negative ? -signedvalue : signedvalue);
}

} // namespace

std::string foldcase(std::string_view name) {
    std::string folded(name);
    for (char &c : folded)
        c = static_cast<char>(lowercasebytes[static_cast<unsigned char>(c)]);
    return folded;
}

IniFile IniFile::load(const std::string &path) {
    std::optional<std::string> content = readwholefile(path);
    return content ? parse(*content) : IniFile();
}

IniFile IniFile::parse(std::string_view content) {
    IniFile file;
    std::size_t firstlf = content.find('\n');
    if (firstlf != std::string_view::npos)
        file.newline_ = firstlf > 0 && content[firstlf - 1] == '\r' ? LineEnd::crlf : LineEnd::lf;
    while (!content.empty()) {
        std::size_t lf = content.find('\n');
        if (lf == std::string_view::npos) {
            file.appendline(content, LineEnd::none);
            break;
        }
        std::string_view line = content.substr(0, lf);
        content.remove_prefix(lf + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
            file.appendline(line, LineEnd::crlf);
        } else {
            file.appendline(line, LineEnd::lf);
        }
    }
    return file;
}

void IniFile::appendline(std::string_view text, LineEnd end) {
    if (std::optional<std::string_view> name = headername(text)) {
        sectionindex_.emplace(foldcase(*name), sections_.size());
        sections_.emplace_back();
    } else if (std::optional<std::string_view> key = keyname(text)) {
        Section &section = sections_.back();
        section.keys.emplace(foldcase(*key), section.lines.size());
        section.lastkeyline = section.lines.size();
    }
    sections_.back().lines.push_back({std::string(text), end});
}

const IniFile::Line *IniFile::findkey(std::string_view section, std::string_view key) const {
    auto found = sectionindex_.find(lookupname(section));
    if (found == sectionindex_.end())
        return nullptr;
    const Section &lines = sections_[found->second];
    auto line = lines.keys.find(lookupname(key));
    return line == lines.keys.end() ? nullptr : &lines.lines[line->second];
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
    return findkey(section, key) != nullptr;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultvalue) const {
    const Line *line = findkey(section, key);
    return std::string(line ? valueof(line->text) : defaultvalue);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultvalue) const {
    const Line *line = findkey(section, key);
    if (line == nullptr)
        return defaultvalue;
    return parseinteger(valueof(line->text)).value_or(defaultvalue);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultvalue) const {
    return readInteger(section, key, defaultvalue ? 1 : 0) != 0;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string sectionname = oneline(section);
    const std::string keyname = oneline(key);
    std::string line = keyname + "=" + oneline(value);
    auto found = sectionindex_.find(lookupname(sectionname));
    if (found == sectionindex_.end()) {
        addsection(sectionname, keyname, std::move(line));
        return;
    }
    Section &lines = sections_[found->second];
    std::string foldedkey = lookupname(keyname);
    auto existing = lines.keys.find(foldedkey);
    if (existing != lines.keys.end()) {
        lines.lines[existing->second].text = std::move(line); // keeps its own line end
        return;
    }
    addline(lines, std::move(line));
    lines.keys.emplace(std::move(foldedkey), lines.lastkeyline);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

// Only blank lines, comments and odd lines follow the last key line, so the
// insertion moves no key and the key index stays valid.
void IniFile::addline(Section &section, std::string text) {
    std::size_t after = section.lastkeyline;
    if (section.lines[after].end == LineEnd::none) // the file's last line
        section.lines[after].end = newline_;
    section.lines.insert(section.lines.begin() + static_cast<std::ptrdiff_t>(after) + 1,
                         Line{std::move(text), newline_});
    section.lastkeyline = after + 1;
}

void IniFile::addsection(const std::string &name, const std::string &key, std::string keyline) {
    std::vector<Line> &last = sections_.back().lines;
    if (!last.empty() && last.back().end == LineEnd::none)
        last.back().end = newline_;
    sectionindex_.emplace(lookupname(name), sections_.size());
    Section &section = sections_.emplace_back();
    section.lines.push_back({"[" + name + "]", newline_});
    section.lines.push_back({std::move(keyline), newline_});
    section.keys.emplace(lookupname(key), 1);
    section.lastkeyline = 1;
}

std::string IniFile::text() const {
    std::size_t size = 0;
    for (const Section &section : sections_) {
        for (const Line &line : section.lines)
            size += line.text.size() + 2;
    }
    std::string content;
    content.reserve(size);
    for (const Section &section : sections_) {
        for (const Line &line : section.lines) {
            content += line.text;
            if (line.end == LineEnd::crlf)
                content += "\r\n";
            else if (line.end == LineEnd::lf)
                content += '\n';
        }
    }
    return content;
}

void IniFile::save(const std::string &path) const {
    writefilesafely(path, text());
}
