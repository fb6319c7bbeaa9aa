#include "fake_script.h"

#include <optional>

#include "arc_platform.h"

namespace qel::transport::fake {
namespace {

constexpr uint64_t kMaxDelayMs = 3600u * 1000u;

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

std::optional<uint64_t> Number(std::string_view text, uint64_t max) {
    if (text.empty()) return std::nullopt;
    uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - '0');
        if (n > max) return std::nullopt;
    }
    return n;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hex tokens from index first on; each token an even number of digits.
bool Hex(const std::vector<std::string_view>& tokens, size_t first, std::vector<unsigned char>* out) {
    out->clear();
    for (size_t t = first; t < tokens.size(); ++t) {
        std::string_view token = tokens[t];
        if (token.size() % 2 != 0) return false;
        for (size_t i = 0; i < token.size(); i += 2) {
            int hi = HexDigit(token[i]), lo = HexDigit(token[i + 1]);
            if (hi < 0 || lo < 0) return false;
            out->push_back(static_cast<unsigned char>(hi * 16 + lo));
        }
    }
    return !out->empty() && out->size() <= kMaxStepBytes;
}

class Parser {
public:
    Parser(const std::string& base, Script* script) : base_(base), script_(*script) {
        script_.connections.emplace_back();
    }

    // Empty on success, else why the line is refused.
    std::string Line(std::string_view line, int number) {
        std::vector<std::string_view> t = Tokens(line);
        if (t.empty() || t[0].front() == '#') return {};
        std::string_view word = t[0];
        ConnectionScript& conn = script_.connections.back();
        Step step;
        step.line = number;

        if (word == "version") {
            auto n = Number(t.size() == 2 ? t[1] : "", 1000000);
            if (!n) return "version wants one number";
            script_.version = static_cast<int>(*n);
            return {};
        }
        if (word == "info") {
            size_t start = line.find("info") + 4;
            std::string_view rest = line.substr(start);
            while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
            while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' ')) rest.remove_suffix(1);
            if (rest.empty()) return "info wants a text";
            script_.info.assign(rest);
            return {};
        }
        if (word == "cancel") {
            if (t.size() == 2 && t[1] == "wake")
                script_.cancelIgnored = false;
            else if (t.size() == 2 && t[1] == "ignore")
                script_.cancelIgnored = true;
            else
                return "cancel wants wake or ignore";
            return {};
        }
        if (word == "connection") {
            if (t.size() != 1) return "connection stands alone";
            script_.connections.emplace_back();
            return {};
        }
        if (word == "connect") {
            if (!conn.steps.empty()) return "connect must come before the steps of its connection";
            auto rc = Number(t.size() >= 2 ? t[1] : "", 1000);
            if (!rc || (t.size() != 2 && t.size() != 4)) return "connect wants RESULT [delay MS]";
            conn.connectResult = static_cast<int>(*rc);
            if (t.size() == 4) {
                auto ms = t[2] == "delay" ? Number(t[3], kMaxDelayMs) : std::nullopt;
                if (!ms) return "connect wants RESULT [delay MS]";
                conn.connectDelayMs = *ms;
            }
            return {};
        }
        if (word == "send") {
            step.kind = Step::Kind::Send;
            if (std::string why = SendMode(t, &step); !why.empty()) return why;
        } else if (word == "reply") {
            step.count = 1;
            if (!Hex(t, 1, &step.bytes)) return "reply wants hex bytes";
        } else if (word == "reply-repeat") {
            if (t.size() < 3) return "reply-repeat wants COUNT or * and hex bytes";
            if (t[1] == "*") {
                step.count = kEndless;
            } else {
                auto n = Number(t[1], uint64_t{1} << 40);
                if (!n || *n == 0) return "reply-repeat wants a count from 1";
                step.count = *n;
            }
            if (!Hex(t, 2, &step.bytes)) return "reply-repeat wants hex bytes";
        } else if (word == "reply-file") {
            if (t.size() != 2) return "reply-file wants one path";
            std::string path(t[1]);
            if (path.front() != '/') path = base_ + "/" + path;
            std::string content;
            if (ArcOS_ReadFile(path.c_str(), &content) != 0) return "cannot read " + path;
            if (content.empty() || content.size() > kMaxStepBytes)
                return "reply-file is empty or above 64 MiB";
            step.bytes.assign(content.begin(), content.end());
            step.count = 1;
        } else if (word == "delay") {
            step.kind = Step::Kind::Delay;
            auto ms = Number(t.size() == 2 ? t[1] : "", kMaxDelayMs);
            if (!ms) return "delay wants milliseconds up to an hour";
            step.count = *ms;
        } else if (word == "close" || word == "recv-fail" || word == "hang") {
            if (t.size() != 1) return std::string(word) + " stands alone";
            step.kind = word == "close"  ? Step::Kind::Close
                        : word == "hang" ? Step::Kind::Hang
                                         : Step::Kind::RecvFail;
        } else {
            return "unknown word " + std::string(word);
        }
        conn.steps.push_back(std::move(step));
        return {};
    }

private:
    static std::string SendMode(const std::vector<std::string_view>& t, Step* step) {
        using Mode = Step::SendMode;
        if (t.size() == 1 || (t.size() == 2 && t[1] == "any")) {
            step->sendMode = Mode::Any;
        } else if (t[1] == "hex" || t[1] == "prefix") {
            step->sendMode = t[1] == "hex" ? Mode::Exact : Mode::Prefix;
            if (!Hex(t, 2, &step->bytes)) return "send hex/prefix wants hex bytes";
        } else if (t[1] == "short" && t.size() == 3) {
            auto n = Number(t[2], 1u << 30);
            if (!n) return "send short wants a byte count";
            step->sendMode = Mode::Short;
            step->count = *n;
        } else if (t[1] == "fail" && t.size() == 2) {
            step->sendMode = Mode::Fail;
        } else if (auto n = Number(t[1], 1u << 30); n && t.size() == 2) {
            step->sendMode = Mode::Length;
            step->count = *n;
        } else {
            return "send wants any, N, hex, prefix, short K or fail";
        }
        return {};
    }

    const std::string& base_;
    Script& script_;
};

}  // namespace

int ParseScript(std::string_view text, const std::string& baseDirectory, Script* out, std::string* why) {
    Script script;
    Parser parser(baseDirectory, &script);
    int number = 0;
    while (!text.empty()) {
        ++number;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (std::string refused = parser.Line(line, number); !refused.empty()) {
            if (why) *why = "line " + std::to_string(number) + ": " + refused;
            return 6;
        }
    }
    *out = std::move(script);
    return 0;
}

}  // namespace qel::transport::fake
