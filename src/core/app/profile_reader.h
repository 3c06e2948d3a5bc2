// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Reader of the ini-like text files (ftext.ini, itext.ini).
//
// Format: lines end with CR LF; a line is read up to its CR and the next line
// starts after the LF that follows it. A bare LF is an ordinary character of
// the line, so a line that ends in LF alone runs on into the next line. A CR
// without an LF after it also ends the line. From the first ";" on a line is
// a comment; then white space is trimmed at both ends. "[name]" (at least 3
// characters) is a section header; any other non-empty line is a key line,
// split at its first "=" into key and value, which are not trimmed again.
namespace nyra {

// One parsed line. A key or value that contains both "[" and "]" is split
// into a name (the text before the first "[") and a subscript (the text after
// that "[" without the last character of the key or value).
struct ProfileLine {
    static constexpr unsigned kKeyName = 1;
    static constexpr unsigned kKeySubscript = 2;
    static constexpr unsigned kValue = 4;
    static constexpr unsigned kValueSubscript = 8;
    static constexpr unsigned kSection = 128;

    std::string text;     // the line without comment and outer white space
    std::string section;  // name of this header, or of the section the line is in
    std::string keyName;
    std::string keySubscript;
    std::string valueName;
    std::string valueSubscript;
    // The bits of the parts that are not empty; kSection alone for a header;
    // 0 for an empty line (and for a key line such as "=" with no parts).
    unsigned kind = 0;
};

// Parses one raw line (without its line end); section is the current section.
ProfileLine parseProfileLine(std::string_view raw, std::string_view section = {});

// One object per file read.
class ProfileReader {
public:
    using MessageSink = std::function<void(const std::string& message)>;

    static constexpr std::size_t kReadPiece = 61400;
    // Larger files are refused: a text file is a few kilobytes.
    static constexpr std::size_t kMaxFileBytes = 16u << 20;

    // onMessage receives the text of the read-error message box.
    explicit ProfileReader(MessageSink onMessage = {});

    // Reads the whole file into memory and decodes it to UTF-8 (GBK unless
    // the whole file is valid UTF-8). False without a message when the file
    // cannot be opened, is not a regular file or is too large; false with the
    // message when reading fails.
    bool load(const std::string& path);
    // The same for an open descriptor (not closed here).
    bool loadFromDescriptor(int fd);
    // The same for bytes already in memory; never fails.
    void loadFromMemory(std::string_view bytes);

    // Moves to the first header named exactly name and makes it the current
    // section.
    bool findSection(std::string_view name);
    // Moves to the next non-empty line of the current section; false at the
    // end of the file or at the next section header (and on every later call).
    bool nextKeyLine();
    // True when the current line's key name is all decimal digits, at most 9
    // of them; number is its value.
    bool numericKey(int& number) const;
    // The value name part of the current line.
    std::string value() const { return line_.valueName; }
    const ProfileLine& line() const { return line_; }
    void close();

    // The text of the read-error message for an error number.
    static std::string readErrorMessage(int errorNumber);

private:
    // Reads the raw line at pos_ and moves pos_ to the start of the next one.
    std::string_view takeLine();

    MessageSink onMessage_;
    std::string data_;  // the file as UTF-8
    std::size_t pos_ = 0;
    bool inSection_ = false;
    std::string section_;
    ProfileLine line_;
};

}  // namespace nyra
