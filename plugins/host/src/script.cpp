#include "script.h"

#include <cctype>
#include <map>

#include "options.h"

namespace {

// Words split at blanks; "..." keeps blanks, with \" and \\ inside.
bool Tokenize(const std::string& line, std::vector<std::string>* words, std::string* error) {
    words->clear();
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        std::string word;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            char c = line[i++];
            if (c == '"') {
                quoted = !quoted;
            } else if (quoted && c == '\\' && i < line.size()) {
                word += line[i++];
            } else {
                word += c;
            }
        }
        if (quoted) {
            *error = "unterminated quote";
            return false;
        }
        words->push_back(word);
    }
    return true;
}

// The text after the command word (one blank dropped), trailing blanks trimmed.
std::string RestOfLine(const std::string& line, const std::string& word) {
    size_t start = line.find(word);
    std::string rest = line.substr(start + word.size());
    if (!rest.empty() && (rest[0] == ' ' || rest[0] == '\t')) rest.erase(0, 1);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
    return rest;
}

struct Shape {
    ScriptCommand::Kind kind;
    size_t numbers;  // count of numeric arguments, checked here
    long minimum, maximum;
};

const std::map<std::string, Shape>& NumericCommands() {
    static const std::map<std::string, Shape> table = {
        {"resize", {ScriptCommand::Resize, 2, 1, 16384}},
        {"command", {ScriptCommand::Command, 1, 0, 65535}},
        {"click", {ScriptCommand::Click, 2, -32768, 32767}},
        {"dblclick", {ScriptCommand::DoubleClick, 2, -32768, 32767}},
        {"rclick", {ScriptCommand::RightClick, 2, -32768, 32767}},
        {"drag", {ScriptCommand::Drag, 4, -32768, 32767}},
        {"choose-menu", {ScriptCommand::ChooseMenu, 1, 0, 65535}},
        {"sleep", {ScriptCommand::Sleep, 1, 0, 3600000}},
        {"wait-idle", {ScriptCommand::WaitIdle, 0, 0, 0}},
        {"stop", {ScriptCommand::Stop, 0, 0, 0}},
        {"quit", {ScriptCommand::Quit, 0, 0, 0}},
    };
    return table;
}

const std::map<std::string, ScriptCommand::Kind>& TextCommands() {
    static const std::map<std::string, ScriptCommand::Kind> table = {
        {"key", ScriptCommand::Key},
        {"type", ScriptCommand::Type},
        {"wait-url", ScriptCommand::WaitUrl},
        {"screenshot", ScriptCommand::Screenshot},
        {"expect-status", ScriptCommand::ExpectStatus},
        {"expect-clipboard", ScriptCommand::ExpectClipboard},
    };
    return table;
}

bool ParseNumber(const std::string& word, long minimum, long maximum, long* value, std::string* error) {
    if (!ParseBoundedInt(word, minimum, maximum, value)) {
        *error = "\"" + word + "\" is not a number from " + std::to_string(minimum) + " to " +
                 std::to_string(maximum);
        return false;
    }
    return true;
}

int ButtonOf(const std::string& word) {
    static const std::map<std::string, int> buttons = {
        {"ok", 1}, {"cancel", 2}, {"abort", 3}, {"retry", 4}, {"ignore", 5}, {"yes", 6}, {"no", 7}};
    std::string lower;
    for (char c : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto found = buttons.find(lower);
    if (found != buttons.end()) return found->second;
    long number = 0;
    return ParseBoundedInt(word, 1, 7, &number) ? static_cast<int>(number) : 0;
}

bool ParseLine(const std::string& line, ScriptCommand* command, std::string* error) {
    std::vector<std::string> words;
    if (!Tokenize(line, &words, error)) return false;
    const std::string& name = words[0];
    auto numeric = NumericCommands().find(name);
    if (numeric != NumericCommands().end()) {
        const Shape& shape = numeric->second;
        command->kind = shape.kind;
        if (words.size() - 1 != shape.numbers) {
            *error = name + " takes " + std::to_string(shape.numbers) + " number(s), got " +
                     std::to_string(words.size() - 1);
            return false;
        }
        for (size_t i = 1; i < words.size(); ++i) {
            long value = 0;
            if (!ParseNumber(words[i], shape.minimum, shape.maximum, &value, error)) return false;
            command->numbers.push_back(value);
        }
        return true;
    }
    auto text = TextCommands().find(name);
    if (text != TextCommands().end()) {
        command->kind = text->second;
        command->text = RestOfLine(line, name);
        bool needsText =
            command->kind != ScriptCommand::ExpectStatus && command->kind != ScriptCommand::ExpectClipboard;
        if (needsText && command->text.empty()) {
            *error = name + " needs an argument";
            return false;
        }
        if (command->kind == ScriptCommand::Key && VirtualKeyOf(command->text) == 0) {
            *error = "unknown key \"" + command->text + "\"";
            return false;
        }
        return true;
    }
    if (name == "answer-box") {
        command->kind = ScriptCommand::AnswerBox;
        int button = words.size() == 2 ? ButtonOf(words[1]) : 0;
        if (button == 0) {
            *error = "answer-box takes one button: ok, cancel, abort, retry, ignore, yes, no or 1 to 7";
            return false;
        }
        command->numbers.push_back(button);
        return true;
    }
    if (name == "answer-dialog") {
        command->kind = ScriptCommand::AnswerDialog;
        if (words.size() < 2) {
            *error = "answer-dialog needs the dialog's name";
            return false;
        }
        command->text = words[1];
        for (size_t i = 2; i < words.size(); ++i) {
            if (words[i] == "set" && i + 1 < words.size()) {
                const std::string& pair = words[++i];
                size_t equals = pair.find('=');
                long id = 0;
                if (equals == std::string::npos) {
                    *error = "answer-dialog set wants ID=VALUE, got \"" + pair + "\"";
                    return false;
                }
                if (!ParseNumber(pair.substr(0, equals), 0, 65535, &id, error)) return false;
                command->steps.push_back({false, id, pair.substr(equals + 1)});
            } else if (words[i] == "click" && i + 1 < words.size()) {
                long id = 0;
                if (!ParseNumber(words[++i], 1, 65535, &id, error)) return false;
                command->steps.push_back({true, id, ""});
            } else {
                *error =
                    "answer-dialog: unexpected \"" + words[i] + "\" (set ID=VALUE and click ID, in order)";
                return false;
            }
        }
        return true;
    }
    if (name == "print-to") {
        command->kind = ScriptCommand::PrintTo;
        if (words.size() < 2 || words[1].empty() || words[1][0] != '/') {
            *error = "print-to needs an absolute directory";
            return false;
        }
        command->text = words[1];
        long from = 0, to = 0, copies = 1;
        for (size_t i = 2; i < words.size(); ++i) {
            if (words[i] == "pages" && i + 2 < words.size()) {
                if (!ParseNumber(words[i + 1], 1, 65535, &from, error) ||
                    !ParseNumber(words[i + 2], from, 65535, &to, error)) {
                    return false;
                }
                i += 2;
            } else if (words[i] == "copies" && i + 1 < words.size()) {
                if (!ParseNumber(words[++i], 1, 999, &copies, error)) return false;
            } else {
                *error = "print-to: unexpected \"" + words[i] + "\" (pages FROM TO, copies N)";
                return false;
            }
        }
        command->numbers = {from, to, copies};
        return true;
    }
    *error = "unknown command \"" + name + "\"";
    return false;
}

}  // namespace

int VirtualKeyOf(const std::string& name) {
    static const std::map<std::string, int> keys = {
        {"Backspace", 8}, {"Tab", 9},     {"Return", 13},   {"Enter", 13},  {"Shift", 16}, {"Control", 17},
        {"Escape", 27},   {"PageUp", 33}, {"PageDown", 34}, {"End", 35},    {"Home", 36},  {"Left", 37},
        {"Up", 38},       {"Right", 39},  {"Down", 40},     {"Delete", 46},
    };
    auto found = keys.find(name);
    if (found != keys.end()) return found->second;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
        return std::toupper(static_cast<unsigned char>(name[0]));
    }
    return 0;
}

bool ParseScript(const std::string& text, std::vector<ScriptCommand>* commands, std::string* error) {
    commands->clear();
    size_t pos = 0;
    int number = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        if (line.find('\0') != std::string::npos) {
            *error = "line " + std::to_string(number) + ": a zero byte";
            return false;
        }
        ScriptCommand command;
        command.line = number;
        command.source = line.substr(first);
        std::string message;
        if (!ParseLine(command.source, &command, &message)) {
            *error = "line " + std::to_string(number) + ": " + message;
            return false;
        }
        commands->push_back(std::move(command));
    }
    return true;
}
