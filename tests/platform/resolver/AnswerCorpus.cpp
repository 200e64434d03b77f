#include "AnswerCorpus.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>

#ifndef DNS_ANSWER_CORPUS_DIR
#error "DNS_ANSWER_CORPUS_DIR names the folder of the hostile answers"
#endif

namespace {

constexpr int AnyType = -1;
constexpr const char* Suffix = ".answer";
constexpr const char* GoodCase = "good";

using Tokens = std::vector<std::string>;

// What the server does for a query of one type, as the notation's answer block says.
struct Answer {
    Tokens message;
    std::vector<std::pair<Tokens, bool>> junk; // datagram, other ID
    bool none = false;
    bool mute = false;
    bool otherId = false;
    bool udpTruncated = false;
    bool tcpClose = false;
    int tcpLength = 0;
    int delayMs = 0;
};

struct Case {
    std::map<int, std::shared_ptr<Answer>> answers; // by query type, AnyType for "*"
    const Answer* For(uint16_t type) const {
        auto found = answers.find(type);
        if (found == answers.end()) found = answers.find(AnyType);
        return found == answers.end() ? nullptr : found->second.get();
    }
};

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsHex(std::string_view text) {
    return !text.empty() && text.size() % 2 == 0 &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(uint8_t(c)); });
}

// A number of the notation, within limits.
long Number(std::string_view text, long low, long high) {
    std::string_view digits = text;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
    if (!IsDigits(digits) || digits.size() > 9)
        throw AnswerCorpusError("bad number '" + std::string(text) + "'");
    long value = std::stol(std::string(text));
    if (value < low || value > high)
        throw AnswerCorpusError("number out of range '" + std::string(text) + "'");
    return value;
}

// The line without its comment: a # outside quotes up to the line's end.
std::string StripComment(const std::string& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == '#' && !quoted) return line.substr(0, i);
    }
    return line;
}

// Quoted text (with its *N) is one token; the group brackets are tokens of their own.
Tokens Tokenize(const std::string& text) {
    Tokens out;
    auto ends = [](char c) {
        return std::isspace(uint8_t(c)) || c == '{' || c == '}' || c == '[' || c == ']' || c == '"';
    };
    size_t pos = 0;
    while (pos < text.size()) {
        char c = text[pos];
        if (std::isspace(uint8_t(c))) {
            ++pos;
        } else if (c == '{' || c == '}' || c == '[' || c == ']') {
            out.emplace_back(1, c);
            ++pos;
        } else {
            size_t stop = pos;
            if (c == '"') {
                stop = text.find('"', pos + 1);
                if (stop == std::string::npos) throw AnswerCorpusError("unclosed quote");
                ++stop;
            }
            while (stop < text.size() && !ends(text[stop]))
                ++stop;
            out.push_back(text.substr(pos, stop - pos));
            pos = stop;
        }
    }
    return out;
}

Bytes WireName(std::string_view dotted) {
    while (!dotted.empty() && dotted.front() == '.')
        dotted.remove_prefix(1);
    while (!dotted.empty() && dotted.back() == '.')
        dotted.remove_suffix(1);
    Bytes out;
    while (!dotted.empty()) {
        size_t dot = dotted.find('.');
        std::string_view label = dotted.substr(0, dot);
        if (label.empty() || label.size() > 63 ||
            std::any_of(label.begin(), label.end(), [](char c) { return uint8_t(c) >= 0x80; }))
            throw AnswerCorpusError("bad label in '" + std::string(dotted) + "'");
        out.push_back(uint8_t(label.size()));
        out.insert(out.end(), label.begin(), label.end());
        dotted = dot == std::string_view::npos ? std::string_view() : dotted.substr(dot + 1);
    }
    out.push_back(0);
    return out;
}

// The token's bytes repeated by its "*N", if any.
Bytes Repeated(const Bytes& bytes, std::string_view count) {
    if (count.empty()) return bytes;
    if (count[0] != '*') throw AnswerCorpusError("bad repeat '" + std::string(count) + "'");
    Bytes out;
    for (long i = Number(count.substr(1), 0, 65535); i > 0; --i)
        out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

Bytes Assemble(const Tokens& tokens, const Bytes& question) {
    const Bytes qname(question.begin(), question.end() - 4);
    const size_t pastQuestion = 12 + question.size();
    Bytes out;
    std::vector<std::pair<size_t, size_t>> groups; // position of the length, its size
    for (const std::string& token : tokens) {
        if (token == "{" || token == "[") {
            groups.emplace_back(out.size(), token == "{" ? 2 : 1);
            out.resize(out.size() + groups.back().second);
        } else if (token == "}" || token == "]") {
            size_t size = token == "}" ? 2 : 1;
            if (groups.empty() || groups.back().second != size)
                throw AnswerCorpusError("unmatched '" + token + "'");
            auto [at, lengthSize] = groups.back();
            groups.pop_back();
            size_t length = out.size() - at - lengthSize;
            if (length >= (size_t(1) << (8 * lengthSize)))
                throw AnswerCorpusError("group of " + std::to_string(length) + " bytes");
            if (lengthSize == 2) out[at++] = uint8_t(length >> 8);
            out[at] = uint8_t(length);
        } else if (token == "question") {
            out = out + question;
        } else if (token == "question-upper") {
            for (size_t i = 0; i < question.size(); ++i)
                out.push_back(i < qname.size() && question[i] >= 'a' && question[i] <= 'z'
                                  ? uint8_t(question[i] - 32)
                                  : question[i]);
        } else if (token == "qname") {
            out = out + qname;
        } else if (token[0] == '"') {
            size_t close = token.find('"', 1);
            Bytes text(token.begin() + 1, token.begin() + std::ptrdiff_t(close));
            if (!std::all_of(text.begin(), text.end(),
                             [](uint8_t c) { return c >= ' ' && c <= '~'; }))
                throw AnswerCorpusError("text other than printable ASCII in '" + token + "'");
            out = out + Repeated(text, std::string_view(token).substr(close + 1));
        } else if (token.starts_with("name:")) {
            out = out + WireName(token.substr(5));
        } else if (token[0] == '@') {
            bool relative = token.size() > 1 && token[1] == '+';
            std::string_view digits = std::string_view(token).substr(relative ? 2 : 1);
            if (!IsDigits(digits)) throw AnswerCorpusError("bad pointer '" + token + "'");
            size_t offset = size_t(Number(digits, 0, 0x3FFF)) + (relative ? pastQuestion : 0);
            if (offset > 0x3FFF) throw AnswerCorpusError("pointer out of range '" + token + "'");
            out = out + Pointer(offset);
        } else {
            size_t star = token.find('*');
            std::string hex = token.substr(0, star);
            if (!IsHex(hex)) throw AnswerCorpusError("unknown token '" + token + "'");
            Bytes bytes;
            for (size_t i = 0; i < hex.size(); i += 2)
                bytes.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
            out = out + Repeated(bytes, star == std::string::npos ? "" : token.substr(star));
        }
    }
    if (!groups.empty()) throw AnswerCorpusError("unclosed group");
    return out;
}

int QueryType(const std::string& text) {
    static const std::map<std::string, int> names = {{"A", 1},    {"NS", 2},    {"CNAME", 5},
                                                     {"SOA", 6},  {"PTR", 12},  {"MX", 15},
                                                     {"TXT", 16}, {"AAAA", 28}, {"LOC", 29}};
    if (text == "*") return AnyType;
    if (auto found = names.find(text); found != names.end()) return found->second;
    return int(Number(text, 1, 65535));
}

// Sets one option of an answer line; false if the word is none.
bool Option(const std::string& word, Answer& answer) {
    if (word == "mute") return answer.mute = true;
    if (word == "none") return answer.none = true;
    if (word == "other-id") return answer.otherId = true;
    if (word == "udp-truncated") return answer.udpTruncated = true;
    if (word == "tcp-close") return answer.tcpClose = true;
    if (word.starts_with("delay=")) {
        answer.delayMs = int(Number(word.substr(6), 0, 600000));
        return true;
    }
    if (word.starts_with("tcp-length=")) {
        answer.tcpLength = int(Number(word.substr(11), -65535, 65535));
        return true;
    }
    return false;
}

Case Parse(const std::string& name, std::istream& in) {
    Case result;
    Answer* current = nullptr;
    Tokens* target = nullptr;
    std::string raw;
    for (int number = 1; std::getline(in, raw); ++number) {
        const std::string where = name + Suffix + ":" + std::to_string(number);
        try {
            std::string line = StripComment(raw);
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            if (line[0] == ' ' || line[0] == '\t') {
                if (target == nullptr) throw AnswerCorpusError("bytes outside an answer or junk");
                Tokens tokens = Tokenize(line);
                target->insert(target->end(), tokens.begin(), tokens.end());
                continue;
            }
            std::istringstream words(line);
            std::string directive, word;
            words >> directive;
            if (directive == "name") {
                continue; // the names it answers end to end: the server's business
            } else if (directive == "answer") {
                auto answer = std::make_shared<Answer>();
                std::vector<int> types;
                while (words >> word)
                    if (!Option(word, *answer)) types.push_back(QueryType(word));
                if (types.empty()) throw AnswerCorpusError("answer without a type");
                for (int type : types) // one answer for every type of the line
                    if (!result.answers.emplace(type, answer).second)
                        throw AnswerCorpusError("two answers for " + std::to_string(type));
                current = answer.get();
                target = &current->message;
            } else if (directive == "junk") {
                std::vector<std::string> rest;
                while (words >> word)
                    rest.push_back(word);
                if (current == nullptr || !(rest.empty() || rest == Tokens{"other-id"}))
                    throw AnswerCorpusError("junk belongs to an answer: 'junk' or 'junk other-id'");
                current->junk.emplace_back(Tokens{}, !rest.empty());
                target = &current->junk.back().first;
            } else {
                throw AnswerCorpusError("unknown line '" + directive + "'");
            }
        } catch (const AnswerCorpusError& error) {
            throw AnswerCorpusError(where + ": " + error.what());
        }
    }
    return result;
}

} // namespace

std::string AnswerCorpusDirectory() {
    return DNS_ANSWER_CORPUS_DIR;
}

std::vector<std::string> CorpusCases() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(AnswerCorpusDirectory()))
        if (entry.path().extension() == Suffix) names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

FakeDnsServer::Reply CorpusReply(const std::string& caseName, const std::string& question,
                                 uint16_t type) {
    auto load = [](const std::string& name) {
        std::ifstream in(AnswerCorpusDirectory() + "/" + name + Suffix);
        if (!in) throw AnswerCorpusError("no case " + name + " in " + AnswerCorpusDirectory());
        return Parse(name, in);
    };
    Case found = load(caseName);
    std::optional<Case> good;
    const Answer* answer = found.For(type);
    if (answer == nullptr) answer = (good = load(GoodCase))->For(type);
    if (answer == nullptr)
        throw AnswerCorpusError("neither " + caseName + " nor good answers type " +
                                std::to_string(type));

    const Bytes questionBytes = WireName(question) + Bytes{uint8_t(type >> 8), uint8_t(type), 0, 1};
    FakeDnsServer::Reply reply;
    reply.asIs = true;
    if (!answer->none && !answer->mute) reply.message = Assemble(answer->message, questionBytes);
    for (const auto& [tokens, otherId] : answer->junk)
        reply.junkFirst.push_back({Assemble(tokens, questionBytes), otherId});
    reply.noAnswer = answer->none;
    reply.mute = answer->mute;
    reply.wrongId = answer->otherId;
    reply.truncateOverUdp = answer->udpTruncated;
    reply.tcpClose = answer->tcpClose;
    reply.tcpLengthError = answer->tcpLength;
    reply.delay = std::chrono::milliseconds(answer->delayMs);
    return reply;
}
