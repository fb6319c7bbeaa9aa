// descriptions.cpp - parsers of dialog and menu descriptions. The texts come from
// resource libraries, so every fault is an error with its line, never a crash.
#include "descriptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "qel_win.h"

namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

std::string Upper(std::string_view word) {
    std::string out(word);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string Lower(std::string_view word) {
    std::string out(word);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

class LineParser {
public:
    LineParser(std::string_view text, std::string* error) : text_(text), error_(error) {}

    // The next line's tokens; false at the end or on an error (Failed() tells).
    bool Next(std::vector<Token>* tokens) {
        while (position_ < text_.size()) {
            size_t end = text_.find('\n', position_);
            if (end == std::string_view::npos) end = text_.size();
            std::string_view line = text_.substr(position_, end - position_);
            position_ = end + 1;
            ++lineNumber_;
            tokens->clear();
            if (!Split(line, tokens)) return false;
            if (!tokens->empty()) return true;
        }
        return false;
    }

    bool Fail(const std::string& message) {
        if (error_ != nullptr) *error_ = "line " + std::to_string(lineNumber_) + ": " + message;
        failed_ = true;
        return false;
    }
    bool Failed() const { return failed_; }
    int Line() const { return lineNumber_; }

private:
    bool Split(std::string_view line, std::vector<Token>* tokens) {
        size_t i = 0;
        while (i < line.size()) {
            char c = line[i];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
            } else if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') {
                break;  // a comment to the end of the line
            } else if (c == '"') {
                Token token;
                token.quoted = true;
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    char q = line[i++];
                    if (q == '"') {
                        closed = true;
                        break;
                    }
                    if (q == '\\') {
                        if (i >= line.size() || (line[i] != '"' && line[i] != '\\'))
                            return Fail("unknown escape in quoted text (only \\\" and \\\\)");
                        q = line[i++];
                    }
                    token.text.push_back(q);
                }
                if (!closed) return Fail("quoted text without its closing quote");
                tokens->push_back(std::move(token));
            } else {
                size_t start = i;
                while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                       line[i] != '"')
                    ++i;
                tokens->push_back(Token{std::string(line.substr(start, i - start)), false});
            }
        }
        return true;
    }

    std::string_view text_;
    std::string* error_;
    size_t position_ = 0;
    int lineNumber_ = 0;
    bool failed_ = false;
};

bool ToInt(const Token& token, int minimum, int maximum, int* value) {
    if (token.quoted || token.text.empty()) return false;
    const char* begin = token.text.data();
    const char* end = begin + token.text.size();
    auto [ptr, ec] = std::from_chars(begin, end, *value);
    return ec == std::errc() && ptr == end && *value >= minimum && *value <= maximum;
}

constexpr int kMaxUnits = 10000;
constexpr int kMaxId = 65535;

bool ReadBox(LineParser& parser, const std::vector<Token>& tokens, size_t first, int* box) {
    static const char* const names[] = {"x", "y", "width", "height"};
    for (size_t i = 0; i < 4; ++i) {
        if (first + i >= tokens.size()) return parser.Fail(std::string("missing ") + names[i]);
        if (!ToInt(tokens[first + i], 0, kMaxUnits, &box[i]))
            return parser.Fail(std::string("bad ") + names[i] + " '" + tokens[first + i].text + "' (0 to " +
                               std::to_string(kMaxUnits) + ")");
    }
    return true;
}

// '|'-separated words through a lookup; false on an unknown word.
template <typename Lookup>
bool ReadWords(LineParser& parser, const std::string& field, Lookup lookup) {
    size_t start = 0;
    while (start <= field.size()) {
        size_t bar = field.find('|', start);
        if (bar == std::string::npos) bar = field.size();
        std::string word = Lower(std::string_view(field).substr(start, bar - start));
        if (word.empty()) return parser.Fail("empty style word in '" + field + "'");
        if (!lookup(word)) return false;
        start = bar + 1;
    }
    return true;
}

bool DialogStyle(LineParser& parser, const std::vector<Token>& tokens, DialogDescription* dialog) {
    if (tokens.size() != 2 || tokens[1].quoted)
        return parser.Fail("STYLE takes one '|'-separated list of words");
    if (tokens[1].text == "-") return true;
    return ReadWords(parser, tokens[1].text, [&](const std::string& word) {
        static const std::pair<const char*, uint32_t> words[] = {
            {"child", WS_CHILD},   {"popup", WS_POPUP},     {"visible", WS_VISIBLE},
            {"border", WS_BORDER}, {"caption", WS_CAPTION},
        };
        for (const auto& [name, bits] : words) {
            if (word == name) {
                dialog->style |= bits;
                return true;
            }
        }
        return parser.Fail("unknown dialog style word '" + word + "'");
    });
}

const char* const kControlClasses[] = {"BUTTON",   "EDIT",      "STATIC",  "LISTBOX",
                                       "COMBOBOX", "SCROLLBAR", "TRACKBAR"};

bool ControlStyle(LineParser& parser, const std::string& field, ControlDescription* control) {
    bool buttonKindSeen = false;
    return ReadWords(parser, field, [&](const std::string& word) {
        static const std::pair<const char*, uint32_t> buttonKinds[] = {
            {"pushbutton", BS_PUSHBUTTON},   {"defpushbutton", BS_DEFPUSHBUTTON},
            {"checkbox", BS_CHECKBOX},       {"autocheckbox", BS_AUTOCHECKBOX},
            {"radiobutton", BS_RADIOBUTTON}, {"autoradiobutton", BS_AUTORADIOBUTTON},
            {"groupbox", BS_GROUPBOX},       {"ownerdraw", BS_OWNERDRAW},
        };
        for (const auto& [name, kind] : buttonKinds) {
            if (word != name) continue;
            if (control->className != "BUTTON")
                return parser.Fail("style word '" + word + "' is for BUTTON controls only");
            if (buttonKindSeen) return parser.Fail("more than one button kind in '" + field + "'");
            buttonKindSeen = true;
            control->style = (control->style & ~0xFu) | kind;
            return true;
        }
        bool bar = control->className == "SCROLLBAR" || control->className == "TRACKBAR";
        if (word == "horz" || word == "vert") {
            if (!bar)
                return parser.Fail("style word '" + word + "' is for SCROLLBAR and TRACKBAR controls only");
            if (word == "vert") control->style |= control->className == "SCROLLBAR" ? SBS_VERT : TBS_VERT;
            return true;
        }
        if (word == "tabstop") {
            control->style |= WS_TABSTOP;
        } else if (word == "disabled") {
            control->style |= WS_DISABLED;
        } else if (word == "hidden") {
            control->style &= ~WS_VISIBLE;
        } else if (word == "group") {
            control->style |= WS_GROUP;
        } else {
            return parser.Fail("unknown control style word '" + word + "'");
        }
        return true;
    });
}

// CONTROL <class> <id> <x> <y> <w> <h> [styles|-] "text"
bool Control(LineParser& parser, const std::vector<Token>& tokens, DialogDescription* dialog) {
    ControlDescription control;
    if (tokens.size() < 2 || tokens[1].quoted) return parser.Fail("CONTROL needs a class");
    control.className = Upper(tokens[1].text);
    if (std::find_if(std::begin(kControlClasses), std::end(kControlClasses), [&](const char* name) {
            return control.className == name;
        }) == std::end(kControlClasses))
        return parser.Fail("unknown control class '" + tokens[1].text + "'");
    int id = 0;
    if (tokens.size() < 3) return parser.Fail("CONTROL needs an id");
    if (!ToInt(tokens[2], -1, kMaxId, &id))
        return parser.Fail("bad control id '" + tokens[2].text + "' (-1 to " + std::to_string(kMaxId) + ")");
    control.id = id == -1 ? 0xFFFFu : static_cast<uint32_t>(id);
    int box[4];
    if (!ReadBox(parser, tokens, 3, box)) return false;
    control.x = box[0], control.y = box[1], control.width = box[2], control.height = box[3];
    control.style = WS_CHILD | WS_VISIBLE;
    size_t next = 7;
    if (next < tokens.size() && !tokens[next].quoted) {
        if (tokens[next].text != "-" && !ControlStyle(parser, tokens[next].text, &control)) return false;
        ++next;
    }
    if (next >= tokens.size() || !tokens[next].quoted)
        return parser.Fail("CONTROL needs its quoted text last");
    control.text = tokens[next].text;
    if (next + 1 != tokens.size())
        return parser.Fail("unexpected '" + tokens[next + 1].text + "' after the text");
    dialog->controls.push_back(std::move(control));
    return true;
}

}  // namespace

bool ParseDialogDescription(std::string_view text, DialogDescription* dialog, std::string* error) {
    *dialog = DialogDescription{};
    LineParser parser(text, error);
    std::vector<Token> tokens;
    bool sawDialog = false, sawStyle = false, sawCaption = false;
    while (parser.Next(&tokens)) {
        std::string keyword = tokens[0].quoted ? std::string() : Upper(tokens[0].text);
        if (!sawDialog && keyword != "DIALOG") return parser.Fail("a description starts with DIALOG");
        if (keyword == "DIALOG") {
            if (sawDialog) return parser.Fail("a second DIALOG line");
            sawDialog = true;
            int box[4];
            if (!ReadBox(parser, tokens, 1, box)) return false;
            if (tokens.size() != 5) return parser.Fail("DIALOG takes x, y, width and height");
            dialog->x = box[0], dialog->y = box[1], dialog->width = box[2], dialog->height = box[3];
        } else if (keyword == "STYLE") {
            if (sawStyle) return parser.Fail("a second STYLE line");
            sawStyle = true;
            if (!DialogStyle(parser, tokens, dialog)) return false;
        } else if (keyword == "CAPTION") {
            if (sawCaption) return parser.Fail("a second CAPTION line");
            sawCaption = true;
            if (tokens.size() != 2 || !tokens[1].quoted) return parser.Fail("CAPTION takes one quoted text");
            dialog->caption = tokens[1].text;
        } else if (keyword == "CONTROL") {
            if (!Control(parser, tokens, dialog)) return false;
        } else {
            return parser.Fail("unknown keyword '" + tokens[0].text + "'");
        }
    }
    if (parser.Failed()) return false;
    if (!sawDialog) return parser.Fail("empty dialog description");
    return true;
}

namespace {

constexpr int kMaxMenuDepth = 16;

bool MenuFlags(LineParser& parser, const std::string& field, uint32_t* flags) {
    return ReadWords(parser, field, [&](const std::string& word) {
        if (word == "checked") {
            *flags |= MF_CHECKED;
        } else if (word == "grayed") {
            *flags |= MF_GRAYED;
        } else if (word == "disabled") {
            *flags |= MF_DISABLED;
        } else {
            return parser.Fail("unknown menu item word '" + word + "'");
        }
        return true;
    });
}

}  // namespace

bool ParseMenuDescription(std::string_view text, std::vector<MenuDescriptionItem>* menu, std::string* error) {
    menu->clear();
    LineParser parser(text, error);
    std::vector<Token> tokens;
    // The popups being filled, innermost last, with the line each began on.
    std::vector<std::pair<MenuDescriptionItem, int>> open;
    auto current = [&]() -> std::vector<MenuDescriptionItem>& {
        return open.empty() ? *menu : open.back().first.items;
    };
    while (parser.Next(&tokens)) {
        std::string keyword = tokens[0].quoted ? std::string() : Upper(tokens[0].text);
        if (keyword == "POPUP") {
            if (tokens.size() != 2 || !tokens[1].quoted) return parser.Fail("POPUP takes one quoted text");
            if (static_cast<int>(open.size()) >= kMaxMenuDepth)
                return parser.Fail("popups nested deeper than " + std::to_string(kMaxMenuDepth));
            MenuDescriptionItem popup;
            popup.kind = MenuDescriptionItem::Kind::Popup;
            popup.text = tokens[1].text;
            open.emplace_back(std::move(popup), parser.Line());
        } else if (keyword == "END") {
            if (tokens.size() != 1) return parser.Fail("END takes nothing");
            if (open.empty()) return parser.Fail("END without its POPUP");
            MenuDescriptionItem done = std::move(open.back().first);
            open.pop_back();
            current().push_back(std::move(done));
        } else if (keyword == "ITEM") {
            MenuDescriptionItem item;
            if (tokens.size() < 3 || !tokens[1].quoted)
                return parser.Fail("ITEM takes a quoted text and an id");
            int id = 0;
            if (!ToInt(tokens[2], 1, kMaxId, &id))
                return parser.Fail("bad item id '" + tokens[2].text + "' (1 to " + std::to_string(kMaxId) +
                                   ")");
            item.id = static_cast<uint32_t>(id);
            item.text = tokens[1].text;
            if (tokens.size() > 4) return parser.Fail("unexpected '" + tokens[4].text + "' after the item");
            if (tokens.size() == 4) {
                if (tokens[3].quoted) return parser.Fail("item state words are not quoted");
                if (!MenuFlags(parser, tokens[3].text, &item.flags)) return false;
            }
            current().push_back(std::move(item));
        } else if (keyword == "SEPARATOR") {
            if (tokens.size() != 1) return parser.Fail("SEPARATOR takes nothing");
            MenuDescriptionItem separator;
            separator.kind = MenuDescriptionItem::Kind::Separator;
            current().push_back(std::move(separator));
        } else {
            return parser.Fail("unknown keyword '" + tokens[0].text + "'");
        }
    }
    if (parser.Failed()) return false;
    if (!open.empty()) {
        if (error != nullptr)
            *error = "line " + std::to_string(open.back().second) + ": POPUP \"" + open.back().first.text +
                     "\" has no END";
        return false;
    }
    if (menu->empty()) return parser.Fail("empty menu description");
    return true;
}
