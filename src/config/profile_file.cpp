// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/profile_file.h"

// Bytes are kept as they are: instrument definition files of the field are 8-bit text.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // Debian's header keeps the template bodies behind this
#include <SimpleIni.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <vector>

#include "config/safe_file.h"

namespace ktx {

namespace {

// Names ignore case; 8-bit text, not UTF-8; every duplicate key kept (the first one answers);
// no multi-line values: "<<<" is text like any other.
void Configure(CSimpleIniA& ini) {
    ini.SetUnicode(false);
    ini.SetMultiKey(true);
    ini.SetMultiLine(false);
}

// The whole file when it is a regular file of profile size; false for anything else.
bool ReadText(const std::string& path, std::string& text) {
    FileError error;
    std::FILE* f = OpenSourceFile(path, error);
    if (f == nullptr) {
        return false;
    }
    text.clear();
    char buffer[65536];
    std::size_t n = 0;
    bool ok = true;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
        if (text.size() > static_cast<std::size_t>(ProfileFile::kMaxSize)) {
            ok = false;
            break;
        }
    }
    ok = ok && !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Compares names as the profile functions do: ASCII letters without regard to case.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// One line of a profile file as the reader sees it. `end` is where the text of the line stops,
// `next` where the following line starts (after CR LF, LF or CR).
struct Line {
    enum Kind { Other, Section, Key } kind = Other;
    std::size_t end = 0;
    std::size_t next = 0;
    std::string_view name;  // section or key name
    std::size_t value = 0;  // key lines: where the value starts
    bool blank = false;     // nothing but blanks
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    // A UTF-8 signature belongs to no line.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        pos = 3;
    }
    while (pos < text.size()) {
        Line line;
        line.end = text.find_first_of("\r\n", pos);
        if (line.end == std::string_view::npos) {
            line.end = text.size();
        }
        line.next = line.end;
        if (line.next < text.size()) {
            line.next += text.compare(line.next, 2, "\r\n") == 0 ? 2 : 1;
        }
        const std::string_view content = Trim(text.substr(pos, line.end - pos));
        line.blank = content.empty();
        if (!content.empty() && content.front() == '[') {
            const auto close = content.find(']');
            if (close != std::string_view::npos) {
                line.kind = Line::Section;
                line.name = Trim(content.substr(1, close - 1));
            }
        } else if (!content.empty() && content.front() != ';' && content.front() != '#') {
            const auto equals = content.find('=');
            if (equals != std::string_view::npos && equals > 0) {
                line.kind = Line::Key;
                line.name = Trim(content.substr(0, equals));
                line.value = static_cast<std::size_t>(content.data() - text.data()) + equals + 1;
                while (line.value < line.end && IsBlank(text[line.value])) {
                    ++line.value;
                }
            }
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// The line end the file uses (that of its first line); a new file gets the system's.
std::string LineEnd(std::string_view text, const std::vector<Line>& lines) {
    for (const Line& l : lines) {
        if (l.next > l.end) {
            return std::string(text.substr(l.end, l.next - l.end));
        }
    }
#ifdef _WIN32
    return "\r\n";
#else
    return "\n";
#endif
}

// `text` with section/key set to `value`, everything else as it was. Keys are looked up as the
// reader finds them: a section named twice is one section, the first of equal keys answers.
std::string SetValue(const std::string& text, const std::string& section, const std::string& key,
                     const std::string& value) {
    const std::vector<Line> lines = SplitLines(text);
    const std::string eol = LineEnd(text, lines);
    const Line* last = nullptr;  // a new key follows the last key of the section's first part
    int parts = 0;               // how often the section began so far
    bool inSection = false;
    for (const Line& l : lines) {
        if (l.kind == Line::Section) {
            inSection = SameName(l.name, section);
            parts += inSection ? 1 : 0;
        } else if (!inSection || l.kind != Line::Key) {
            continue;
        } else if (SameName(l.name, key)) {
            // The key keeps its spelling and the blanks around "="; what follows is the value.
            return text.substr(0, l.value) + value + text.substr(l.end);
        }
        if (inSection && parts == 1) {
            last = &l;
        }
    }
    const std::string entry = key + "=" + value;
    if (last != nullptr) {
        const bool ended = last->next > last->end;
        return text.substr(0, last->next) + (ended ? entry + eol : eol + entry) +
               text.substr(last->next);
    }
    // A new section at the end, after a blank line.
    std::string out = text;
    if (!lines.empty() && lines.back().next == lines.back().end) {
        out += eol;
    }
    if (!lines.empty() && !lines.back().blank) {
        out += eol;
    }
    return out + "[" + section + "]" + eol + entry + eol;
}

// What can be stored as one line and found again by its names.
bool Storable(const std::string& section, const std::string& key, const std::string& value) {
    const auto oneLine = [](const std::string& s) {
        return s.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
    };
    const std::string_view k = Trim(key);
    return oneLine(section) && oneLine(key) && oneLine(value) && !section.empty() &&
           section.find(']') == std::string::npos && Trim(section) == section && !k.empty() &&
           k == key && key.find('=') == std::string::npos && key[0] != ';' && key[0] != '#' &&
           key[0] != '[' && Trim(value) == value;
}

}  // namespace

struct ProfileFile::Data {
    Data() { Configure(ini); }
    CSimpleIniA ini;
};

ProfileFile::ProfileFile(std::string path)
    : m_path(std::move(path)), m_data(std::make_unique<Data>()) {
    std::string text;
    m_loaded = ReadText(m_path, text) && m_data->ini.LoadData(text) >= 0;
}

ProfileFile::~ProfileFile() = default;
ProfileFile::ProfileFile(ProfileFile&&) noexcept = default;
ProfileFile& ProfileFile::operator=(ProfileFile&&) noexcept = default;

std::string ProfileFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    // With multi-key on, SimpleIni hands back the first of equal keys, as Windows does.
    const char* v = m_data->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? std::string(v) : defaultValue;
}

bool ProfileFile::HasKey(const std::string& section, const std::string& key) const {
    return m_data->ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

std::optional<int> ProfileNumber(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const long long limit = std::numeric_limits<int>::max() + (negative ? 1LL : 0LL);
    long long value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) {
            return std::nullopt;
        }
    }
    // Digits, then nothing but a comment.
    const std::string_view rest = Trim(text.substr(i));
    if (i == 0 || (!rest.empty() && rest.front() != ';')) {
        return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

int ProfileFile::ReadInt(const std::string& section, const std::string& key,
                         int defaultValue) const {
    const char* v = m_data->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? ProfileNumber(v).value_or(defaultValue) : defaultValue;
}

bool ProfileFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    if (!Storable(section, key, value)) {
        return false;
    }
    // Start from the file as it is now: the interface library may have written its own section.
    std::string text;
    struct stat st {};
    const bool exists = ::stat(m_path.c_str(), &st) == 0;
    if (exists && !ReadText(m_path, text)) {
        return false;  // there is something, but not a profile file we may rewrite
    }
    if (text.find('\0') != std::string::npos) {
        // The reader stops at a NUL byte: a rewrite that moved or dropped it would bring back
        // lines nobody has read, and change values the caller never touched.
        return false;
    }
    if (!exists && errno != ENOENT) {
        return false;
    }
    const std::string updated = SetValue(text, section, key, value);
    // The reader must find what was written; a file it reads otherwise is left alone.
    auto check = std::make_unique<Data>();
    const char* found = check->ini.LoadData(updated) >= 0
                            ? check->ini.GetValue(section.c_str(), key.c_str(), nullptr)
                            : nullptr;
    if (found == nullptr || value != found) {
        return false;
    }
    if (!exists || updated != text) {
        SafeFile file(m_path, SafeFile::Placement::KeepIdentity);
        if (!file.Begin()) {
            return false;
        }
        std::FILE* f = std::fopen(file.TempPath().c_str(), "wb");
        if (f == nullptr) {
            file.Fail(errno);
            return false;
        }
        const bool written = std::fwrite(updated.data(), 1, updated.size(), f) == updated.size();
        if (std::fclose(f) != 0 || !written) {
            file.Fail(errno);
            return false;
        }
        if (!file.Commit()) {
            return false;
        }
    }
    m_data = std::move(check);
    m_loaded = true;
    return true;
}

}  // namespace ktx
