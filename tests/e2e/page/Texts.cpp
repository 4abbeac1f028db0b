// Reading back the texts the page produces (size texts, CSV, shell commands) independently of
// the page's own code.

#include <cctype>
#include <map>

#include "page/PageTest.h"

namespace e2e {

double SizeBytes(const std::string& text) {
    static const std::map<std::string, double> kUnits = {
        {"B", 1}, {"KB", 1024}, {"MB", 1024.0 * 1024}, {"GB", 1024.0 * 1024 * 1024}};
    size_t digits = 0;
    while (digits < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.'))
        ++digits;
    if (digits == 0) return -1;
    auto unit = kUnits.find(text.substr(digits));
    if (unit == kUnits.end()) return -1;
    return std::stod(text.substr(0, digits)) * unit->second;
}

std::optional<std::vector<std::vector<std::string>>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    size_t i = 0;
    bool fieldStarted = false;
    auto endField = [&] {
        record.push_back(std::move(field));
        field.clear();
        fieldStarted = false;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && !fieldStarted && field.empty()) {
            fieldStarted = true;
            ++i;
            for (;;) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            // After the closing quotation mark only a separator may follow.
            if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n')
                return std::nullopt;
            continue;
        }
        if (c == ',') {
            endField();
            ++i;
        } else if (c == '\r' || c == '\n') {
            endField();
            records.push_back(std::move(record));
            record.clear();
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        } else if (c == '"') {
            return std::nullopt;  // a quotation mark inside an unquoted field
        } else {
            fieldStarted = true;
            field += c;
            ++i;
        }
    }
    if (fieldStarted || !record.empty()) {
        endField();
        records.push_back(std::move(record));
    }
    return records;
}

std::optional<std::vector<std::string>> ShellWords(const std::string& program,
                                                   const std::string& commandLine) {
    // An alias rather than a function of that name: a name such as "yt-dlp" is no valid
    // function name for a POSIX shell, and an alias is expanded on the lines that follow.
    const std::string script =
        "e2e_words() { for word in \"$@\"; do printf '%s\\0' \"$word\"; done; }\nalias '" +
        program + "'=e2e_words\n" + commandLine;
    CommandResult r = RunCommand({"sh", "-c", script}, Millis(5000));
    if (!r.Ok()) return std::nullopt;
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t end; (end = r.out.find('\0', start)) != std::string::npos; start = end + 1)
        words.push_back(r.out.substr(start, end - start));
    return words;
}

}  // namespace e2e
