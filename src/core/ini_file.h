#pragma once

// The settings file: an INI text of 8-bit bytes (Windows-1250), read and
// updated the way the program's settings need it.
//
// - Section and key names match without regard to letter case (ASCII and the
//   Windows-1250 letters); the first of two equal sections or keys counts.
// - A text value is the rest of the line after the first "=", blanks (spaces
//   and tabs) at both ends dropped, one pair of matching enclosing quotes
//   (single or double) removed, whole however long.
// - A write replaces a key's line in place, adds a new key after the last key
//   line of its section and a new section at the end of the file; every other
//   line, line end included, stays byte for byte.
// - Lines keep their own line ends; added lines take the file's convention,
//   found at its first line end. A file without any line end uses CRLF.
//
// All edits happen in memory; `save` writes the whole file once, safely.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class IniFile {
public:
    // A file that does not exist reads as empty. A file that exists but
    // cannot be read throws KrovanError "Unable to read <path>", so that a
    // later save cannot silently replace settings that were never seen.
    static IniFile load(const std::string &path);
    static IniFile parse(std::string_view content);

    // Whether the file holds the key (under any spelling of its case).
    bool hasKey(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultvalue) const;
    // Decimal with an optional sign, or hexadecimal after "0x", "0X" or "$".
    // Hexadecimal values up to 32 bits wrap to a signed value ("0xFFFFFFFF"
    // is -1). Anything else, an empty value and any value out of range give
    // the default.
    int readInteger(std::string_view section, std::string_view key, int defaultvalue) const;
    // An integer; any value other than 0 is true.
    bool readBool(std::string_view section, std::string_view key, bool defaultvalue) const;

    // Names and values are written as given. A line break in any of them
    // would split the line, so CR and LF are written as spaces. Names are the
    // program's own: no "=" in a key, no "]" in a section, no ";" first.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    // The bytes `save` writes.
    std::string text() const;
    // Writes the whole file to a temporary file beside it and renames that
    // over `path`, keeping the old file's permissions. On failure the old file
    // is untouched, no temporary is left and KrovanError "Unable to write to
    // <path>" is thrown.
    void save(const std::string &path) const;

private:
    enum class LineEnd { none, lf, crlf };
    struct Line {
        std::string text;
        LineEnd end;
    };
    struct Section {
        std::vector<Line> lines; // lines[0] is the header, except in the preamble
        std::unordered_map<std::string, std::size_t> keys; // folded name -> first line
        std::size_t lastkeyline = 0; // where a new key goes after; 0 is the header
    };

    const Line *findkey(std::string_view section, std::string_view key) const;
    void addline(Section &section, std::string text);
    void addsection(const std::string &name, const std::string &key, std::string keyline);
    void appendline(std::string_view text, LineEnd end);

    // sections_[0] holds the lines before the first section; no key there
    // can be read or written.
    std::vector<Section> sections_{1};
    std::unordered_map<std::string, std::size_t> sectionindex_; // folded name -> first
    LineEnd newline_ = LineEnd::crlf;
};

// Folds ASCII and Windows-1250 capital letters to small ones, byte by byte.
std::string foldcase(std::string_view name);
