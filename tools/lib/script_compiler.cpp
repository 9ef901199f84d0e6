#include "tools/lib/script_compiler.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "platform/sjis.h"
#include "tools/lib/chunk_writer.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Source lines and tokens

struct SToken {
    enum class Kind { Word, String, Colon, Semicolon };
    Kind kind;
    std::string text;  // a word, or a string's UTF-8 content with its escapes resolved
};

struct SCompileError {
    int line;
    std::string message;
};

[[noreturn]] void Fail(int line, std::string message) { throw SCompileError{line, std::move(message)}; }

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Trim(std::string_view s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

std::string Describe(const SToken& t) {
    switch (t.kind) {
        case SToken::Kind::Colon: return "':'";
        case SToken::Kind::Semicolon: return "';'";
        case SToken::Kind::String: return "the string \"" + t.text + "\"";
        case SToken::Kind::Word: break;
    }
    return "'" + t.text + "'";
}

struct SSourceLine {
    int number = 0;
    std::vector<SToken> tokens;
    std::string rest;  // the raw text after the first word, without the comment
};

bool EndsWord(char c) { return c == ' ' || c == '\t' || c == '\r' || c == ':' || c == ';' || c == '"' || c == '#'; }

SSourceLine TokenizeLine(std::string_view text, int number) {
    SSourceLine out;
    out.number = number;
    size_t i = 0;
    size_t afterFirst = std::string_view::npos;
    size_t contentEnd = text.size();
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#') {
            contentEnd = i;
            break;
        }
        if (c == ':' || c == ';') {
            out.tokens.push_back({c == ':' ? SToken::Kind::Colon : SToken::Kind::Semicolon, std::string(1, c)});
            ++i;
        } else if (c == '"') {
            std::string value;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                char d = text[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    value += d;
                    continue;
                }
                if (i >= text.size()) break;
                char e = text[i++];
                if (e == 'n') value += '\n';
                else if (e == '"' || e == '\\') value += e;
                else Fail(number, std::string("unknown escape '\\") + e + "' in a string (use \\n, \\\" or \\\\)");
            }
            if (!closed) Fail(number, "a string is not closed with '\"'");
            out.tokens.push_back({SToken::Kind::String, std::move(value)});
        } else {
            size_t start = i;
            while (i < text.size() && !EndsWord(text[i])) ++i;
            out.tokens.push_back({SToken::Kind::Word, std::string(text.substr(start, i - start))});
        }
        if (out.tokens.size() == 1 && afterFirst == std::string_view::npos) afterFirst = i;
    }
    if (afterFirst != std::string_view::npos && afterFirst < contentEnd)
        out.rest = Trim(text.substr(afterFirst, contentEnd - afterFirst));
    return out;
}

// ---------------------------------------------------------------------------------------------
// Statements: a line, or a block line with the statements of its body

struct SStatement {
    int line = 0;
    std::vector<SToken> tokens;
    std::string rest;
    bool block = false;
    std::vector<SStatement> body;

    std::string Keyword() const { return Lower(tokens[0].text); }
};

enum class EContext { Page, Layer, Model, Leaf };

EContext ChildContext(const std::string& keyword) {
    if (keyword == "layer" || keyword == "mainlayer") return EContext::Layer;
    if (keyword == "model") return EContext::Model;
    return EContext::Leaf;
}

bool IsBlockKeyword(EContext context, const std::string& keyword) {
    switch (context) {
        case EContext::Page:
            return keyword == "layer" || keyword == "mainlayer" || keyword == "music" || keyword == "voice" ||
                   keyword == "se" || keyword == "text" || keyword == "choice" || keyword == "jump" ||
                   keyword == "camera" || keyword == "light";
        case EContext::Layer: return keyword == "model";
        case EContext::Model: return keyword == "part";
        case EContext::Leaf: return false;
    }
    return false;
}

class CStatementParser {
public:
    CStatementParser(const std::vector<SSourceLine>& lines, std::function<void(int, const std::string&)> report)
        : m_lines(lines), m_report(std::move(report)) {}

    std::vector<SStatement> ParseAll() { return ParseBody(EContext::Page, nullptr); }

private:
    std::vector<SStatement> ParseBody(EContext context, const SStatement* opener) {
        std::vector<SStatement> body;
        while (m_pos < m_lines.size()) {
            const SSourceLine& line = m_lines[m_pos];
            if (line.tokens.empty()) {
                ++m_pos;
                continue;
            }
            if (line.tokens[0].kind != SToken::Kind::Word) {
                m_report(line.number, "a line must begin with a command, not " + Describe(line.tokens[0]));
                ++m_pos;
                continue;
            }
            std::string keyword = Lower(line.tokens[0].text);
            if (keyword == "end") {
                ++m_pos;
                if (!opener) {
                    m_report(line.number, "'end' without an open block");
                    continue;
                }
                if (line.tokens.size() > 1) m_report(line.number, "unexpected " + Describe(line.tokens[1]) + " after 'end'");
                return body;
            }
            if (keyword == "page" && opener) break;
            ++m_pos;
            SStatement statement{line.number, line.tokens, line.rest, false, {}};
            if (IsBlockKeyword(context, keyword)) {
                statement.block = true;
                if (!SplitOneLineBlock(&statement)) statement.body = ParseBody(ChildContext(keyword), &statement);
            }
            body.push_back(std::move(statement));
        }
        if (opener)
            m_report(opener->line, "the '" + opener->Keyword() + "' block is not closed with 'end'");
        return body;
    }

    // "keyword args: sub; sub; sub" holds its body on the same line.
    static bool SplitOneLineBlock(SStatement* statement) {
        auto& tokens = statement->tokens;
        size_t colon = 0;
        while (colon < tokens.size() && tokens[colon].kind != SToken::Kind::Colon) ++colon;
        if (colon == tokens.size()) return false;
        std::vector<SToken> rest(tokens.begin() + colon + 1, tokens.end());
        tokens.resize(colon);
        SStatement part{statement->line, {}, {}, false, {}};
        for (SToken& t : rest) {
            if (t.kind == SToken::Kind::Semicolon) {
                if (!part.tokens.empty()) statement->body.push_back(part);
                part.tokens.clear();
            } else {
                part.tokens.push_back(std::move(t));
            }
        }
        if (!part.tokens.empty()) statement->body.push_back(part);
        return true;
    }

    const std::vector<SSourceLine>& m_lines;
    std::function<void(int, const std::string&)> m_report;
    size_t m_pos = 0;
};

// ---------------------------------------------------------------------------------------------
// Arguments

std::string ToSjis(int line, const std::string& utf8) {
    std::string sjis;
    if (Utf8ToSjis(utf8, &sjis)) return sjis;
    // Find the first character that does not convert, to name it.
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > utf8.size()) Fail(line, "the text is not valid UTF-8");
        std::string one;
        if (!Utf8ToSjis(std::string_view(utf8).substr(i, n), &one)) {
            uint32_t cp = n == 1 ? c : c & (0xFF >> (n + 1));
            for (size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", cp);
            Fail(line, "the character '" + utf8.substr(i, n) + "' (" + code + ") has no Shift-JIS code");
        }
        i += n;
    }
    Fail(line, "the text cannot be converted to Shift-JIS");
}

class CArgs {
public:
    explicit CArgs(const SStatement& statement, size_t first = 1)
        : m_line(statement.line), m_tokens(statement.tokens), m_pos(first) {}

    int Line() const { return m_line; }
    bool AtEnd() const { return m_pos >= m_tokens.size(); }

    bool Peek(std::string_view word) const {
        return !AtEnd() && m_tokens[m_pos].kind == SToken::Kind::Word && Lower(m_tokens[m_pos].text) == word;
    }
    bool Take(std::string_view word) {
        if (!Peek(word)) return false;
        ++m_pos;
        return true;
    }
    bool PeekString() const { return !AtEnd() && m_tokens[m_pos].kind == SToken::Kind::String; }

    std::string Keyword(const std::string& what) { return Lower(Next(SToken::Kind::Word, what).text); }

    int64_t Integer(int64_t min, int64_t max, const std::string& what) {
        const SToken& t = Next(SToken::Kind::Word, what);
        int64_t value = 0;
        if (!ParseInteger(t.text, &value)) Fail(m_line, "expected the " + what + " (a whole number), found '" + t.text + "'");
        if (value < min || value > max)
            Fail(m_line, "the " + what + " " + t.text + " is out of range (" + std::to_string(min) + " to " +
                             std::to_string(max) + ")");
        return value;
    }

    float Float(const std::string& what) {
        const SToken& t = Next(SToken::Kind::Word, what);
        char* end = nullptr;
        float value = std::strtof(t.text.c_str(), &end);
        if (t.text.empty() || *end != '\0' || !std::isfinite(value))
            Fail(m_line, "expected the " + what + " (a number), found '" + t.text + "'");
        return value;
    }

    uint32_t Colour(const std::string& what) {
        return static_cast<uint32_t>(Integer(0, 0xFFFFFFFFll, what + " (0xAARRGGBB)"));
    }

    // A quoted text, converted to Shift-JIS and at most maxBytes long.
    std::string Text(size_t maxBytes, const std::string& what) {
        const SToken& t = Next(SToken::Kind::String, what);
        std::string sjis = ToSjis(m_line, t.text);
        CheckLength(m_line, sjis, maxBytes, what);
        return sjis;
    }

    static void CheckLength(int line, const std::string& sjis, size_t maxBytes, const std::string& what) {
        if (sjis.size() > maxBytes)
            Fail(line, "the " + what + " is " + std::to_string(sjis.size()) + " bytes long in Shift-JIS; at most " +
                           std::to_string(maxBytes) + " fit");
        if (sjis.find('\0') != std::string::npos) Fail(line, "the " + what + " holds a zero byte");
    }

    void Finish() {
        if (!AtEnd()) Fail(m_line, "unexpected " + Describe(m_tokens[m_pos]));
    }

private:
    const SToken& Next(SToken::Kind kind, const std::string& what) {
        if (AtEnd()) Fail(m_line, "missing the " + what);
        const SToken& t = m_tokens[m_pos];
        if (t.kind != kind) Fail(m_line, "expected the " + what + ", found " + Describe(t));
        ++m_pos;
        return t;
    }

    static bool ParseInteger(const std::string& text, int64_t* value) {
        std::string_view s = text;
        bool negative = false;
        if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
            negative = s[0] == '-';
            s.remove_prefix(1);
        }
        int base = 10;
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            base = 16;
            s.remove_prefix(2);
        }
        uint64_t magnitude = 0;
        auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
        if (s.empty() || error != std::errc() || end != s.data() + s.size()) return false;
        if (magnitude > (uint64_t{1} << 62)) magnitude = uint64_t{1} << 62;  // reported as out of range
        *value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
        return true;
    }

    int m_line;
    const std::vector<SToken>& m_tokens;
    size_t m_pos;
};

constexpr int64_t kMaxI32 = 0x7FFFFFFF;
constexpr int64_t kMinI32 = -kMaxI32 - 1;
constexpr size_t kMaxPathBytes = 259;  // a name field of 260 bytes with its terminating zero

// Reads "delay MS" style options: a set of keywords each followed by one value, each at most once.
class COptions {
public:
    COptions(CArgs& args, const std::string& command) : m_args(args), m_command(command) {}

    // Returns the next option keyword, or "" at the end of the line.
    std::string Next() {
        if (m_args.AtEnd()) return {};
        std::string keyword = m_args.Keyword("option");
        if (!m_seen.insert(keyword).second) Fail(m_args.Line(), "'" + keyword + "' is given twice");
        return keyword;
    }
    [[noreturn]] void Unknown(const std::string& keyword, const std::string& allowed) {
        Fail(m_args.Line(), "unknown option '" + keyword + "' of '" + m_command + "' (allowed: " + allowed + ")");
    }

private:
    CArgs& m_args;
    std::string m_command;
    std::set<std::string> m_seen;
};

// ---------------------------------------------------------------------------------------------
// Text formats

struct STextFormat {
    std::string face;  // Shift-JIS
    int32_t height = 24;
    uint8_t bold = 0;
    uint8_t italic = 0;
    uint32_t colour = 0xFFFFFFFF;

    bool operator==(const STextFormat&) const = default;
};

STextFormat DefaultTextFormat() {
    STextFormat f;
    f.face = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ Ｐゴシック
    return f;
}

constexpr size_t kMaxFaceBytes = 31;
constexpr size_t kMaxTextBytes = 255;
constexpr size_t kMaxNameBytes = 15;
constexpr size_t kMaxTextRecords = 256;

STextFormat ParseFormat(CArgs& a) {
    STextFormat f;
    f.face = a.Text(kMaxFaceBytes, "font face");
    f.height = static_cast<int32_t>(a.Integer(1, 512, "font height"));
    for (;;) {
        if (a.Take("bold")) f.bold = 1;
        else if (a.Take("italic")) f.italic = 1;
        else break;
    }
    f.colour = a.Colour("text colour");
    return f;
}

// One format per glyph position: every character except codes 13 and 12 takes a record, and
// the terminating zero takes one more.
struct STextBuilder {
    std::string text;  // Shift-JIS
    std::vector<STextFormat> records;

    void Append(const std::string& sjis, const STextFormat& format) {
        for (size_t i = 0; i < sjis.size();) {
            unsigned char c = static_cast<unsigned char>(sjis[i]);
            size_t n = IsSjisLeadByte(c) && i + 1 < sjis.size() ? 2 : 1;
            if (!(n == 1 && (c == 13 || c == 12))) records.push_back(format);
            i += n;
        }
        text += sjis;
    }
};

// ---------------------------------------------------------------------------------------------
// The compiler

class CCompiler {
public:
    explicit CCompiler(std::string fileName) : m_file(std::move(fileName)) {}

    bool Compile(std::string_view source, std::vector<uint8_t>* output);
    const std::vector<std::string>& Errors() const { return m_errors; }

private:
    using Handler = void (CCompiler::*)(const SStatement&, CChunkWriter&);

    static const std::map<std::string, Handler>& PageHandlers();
    static const std::map<std::string, Handler>& LayerHandlers();
    static const std::map<std::string, Handler>& ModelHandlers();
    static const std::map<std::string, Handler>& PartHandlers();
    static const std::map<std::string, Handler>& SoundHandlers();

    void Report(int line, const std::string& message) {
        m_errors.push_back(m_file + ":" + std::to_string(line) + ": " + message);
    }

    // Compiles one statement into a scratch writer and appends it only when it succeeded, so a
    // mistake is reported and the next statement still gets checked.
    template <typename F>
    void Guarded(CChunkWriter& out, F compile) {
        try {
            CChunkWriter scratch;
            compile(scratch);
            out.Append(scratch);
        } catch (const SCompileError& e) {
            Report(e.line, e.message);
        }
    }

    void CompileBody(const SStatement& owner, CChunkWriter& w, const std::map<std::string, Handler>& handlers,
                     const std::string& kind);

    void PageCommand(const SStatement& s, CChunkWriter& w);
    void Style(const SStatement& s);

    void Layer(const SStatement& s, CChunkWriter& w);
    void MainLayer(const SStatement& s, CChunkWriter& w);
    void LayerLoad(const SStatement& s, CChunkWriter& w);
    void LayerRelease(const SStatement& s, CChunkWriter& w);
    void LayerOffset(const SStatement& s, CChunkWriter& w);
    void LayerPivot(const SStatement& s, CChunkWriter& w);
    void LayerSource(const SStatement& s, CChunkWriter& w);
    void LayerScale(const SStatement& s, CChunkWriter& w);
    void LayerAngle(const SStatement& s, CChunkWriter& w);
    void LayerColour(const SStatement& s, CChunkWriter& w);
    void LayerBlend(const SStatement& s, CChunkWriter& w);
    void LayerFilter(const SStatement& s, CChunkWriter& w);
    void LayerCut(const SStatement& s, CChunkWriter& w);
    void LayerFade(const SStatement& s, CChunkWriter& w);
    void LayerModel(const SStatement& s, CChunkWriter& w);

    void ModelPivot(const SStatement& s, CChunkWriter& w) { AnimatedValue(s, w, "PIVO", 3); }
    void ModelPosition(const SStatement& s, CChunkWriter& w) { AnimatedValue(s, w, "POS ", 3); }
    void ModelRotation(const SStatement& s, CChunkWriter& w) { AnimatedValue(s, w, "ROT ", 3); }
    void ModelScale(const SStatement& s, CChunkWriter& w) { AnimatedValue(s, w, "SCAL", 3); }
    void ModelBlink(const SStatement& s, CChunkWriter& w);
    void ModelLipSync(const SStatement& s, CChunkWriter& w);
    void ModelDepthClear(const SStatement& s, CChunkWriter& w);
    void ModelMotion(const SStatement& s, CChunkWriter& w);
    void ModelPart(const SStatement& s, CChunkWriter& w);
    void PartColour(const SStatement& s, CChunkWriter& w) { AnimatedValue(s, w, "COLR", 4); }
    void PartMorph(const SStatement& s, CChunkWriter& w);
    void PartFade(const SStatement& s, CChunkWriter& w);

    void Music(const SStatement& s, CChunkWriter& w) { Sound(s, w, "BTNO", "BGMT", 1, "music channel"); }
    void Voice(const SStatement& s, CChunkWriter& w) { Sound(s, w, "VTNO", "VOIT", 3, "voice channel"); }
    void SoundEffect(const SStatement& s, CChunkWriter& w) { Sound(s, w, "SETN", "SET ", 3, "sound-effect channel"); }
    void Sound(const SStatement& s, CChunkWriter& w, const char* numberTag, const char* commandTag, int maxChannel,
               const std::string& what);
    void SoundLoad(const SStatement& s, CChunkWriter& w);
    void SoundRelease(const SStatement& s, CChunkWriter& w) { NoArguments(s, w, "RLAS"); }
    void SoundPlay(const SStatement& s, CChunkWriter& w) { SoundStart(s, w, 1); }
    void SoundRestart(const SStatement& s, CChunkWriter& w) { SoundStart(s, w, 0); }
    void SoundStart(const SStatement& s, CChunkWriter& w, uint32_t code);
    void SoundPause(const SStatement& s, CChunkWriter& w);
    void SoundStop(const SStatement& s, CChunkWriter& w);
    void SoundVolume(const SStatement& s, CChunkWriter& w) { SoundTarget(s, w, "VOLM", -10000, 0, "volume"); }
    void SoundPan(const SStatement& s, CChunkWriter& w) { SoundTarget(s, w, "PAN ", -10000, 10000, "pan"); }
    void SoundTempo(const SStatement& s, CChunkWriter& w) { SoundTarget(s, w, "TEMP", 10, 2000, "tempo"); }
    void SoundTarget(const SStatement& s, CChunkWriter& w, const char* tag, int32_t min, int32_t max,
                     const std::string& what);

    void Text(const SStatement& s, CChunkWriter& w);
    void Choice(const SStatement& s, CChunkWriter& w);
    void Jump(const SStatement& s, CChunkWriter& w);
    void Camera(const SStatement& s, CChunkWriter& w);
    void Light(const SStatement& s, CChunkWriter& w);
    void Advance(const SStatement& s, CChunkWriter& w) { Wait(s, w, "ACTL", "WTIM"); }
    void Lock(const SStatement& s, CChunkWriter& w) { Wait(s, w, "KLOK", "LTIM"); }
    void Wait(const SStatement& s, CChunkWriter& w, const char* tag, const char* timeTag);
    void Movie(const SStatement& s, CChunkWriter& w);
    void Host(const SStatement& s, CChunkWriter& w);
    void SetFlag(const SStatement& s, CChunkWriter& w) { FlagList(s, w, "FLGU", 255, "game flag"); }
    void ClearFlag(const SStatement& s, CChunkWriter& w) { FlagList(s, w, "FLGD", 255, "game flag"); }
    void CgFlag(const SStatement& s, CChunkWriter& w) { FlagList(s, w, "CGFU", 1023, "picture flag"); }
    void MovieFlag(const SStatement& s, CChunkWriter& w) { FlagList(s, w, "SFUP", 127, "movie flag"); }
    void FlagList(const SStatement& s, CChunkWriter& w, const char* tag, int64_t max, const std::string& what);

    void NoArguments(const SStatement& s, CChunkWriter& w, const char* tag);
    void AnimatedValue(const SStatement& s, CChunkWriter& w, const char* tag, int components);
    static void AnimatedPayload(CArgs& a, CChunkWriter& w, int components);
    static void RequireBlock(const SStatement& s);
    static void RequireNoBlock(const SStatement& s);

    std::string m_file;
    std::vector<std::string> m_errors;
    std::map<std::string, STextFormat> m_styles;
};

// ---------------------------------------------------------------------------------------------

bool CCompiler::Compile(std::string_view source, std::vector<uint8_t>* output) {
    output->clear();
    if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);  // a UTF-8 byte-order mark

    std::vector<SSourceLine> lines;
    int number = 0;
    size_t start = 0;
    while (start <= source.size()) {
        size_t end = source.find('\n', start);
        if (end == std::string_view::npos) end = source.size();
        ++number;
        try {
            lines.push_back(TokenizeLine(source.substr(start, end - start), number));
        } catch (const SCompileError& e) {
            Report(e.line, e.message);
        }
        start = end + 1;
    }

    CStatementParser parser(lines, [this](int line, const std::string& message) { Report(line, message); });
    std::vector<SStatement> statements = parser.ParseAll();

    std::string header;
    bool headerSeen = false;
    std::vector<CChunkWriter> pages;
    for (const SStatement& s : statements) {
        std::string keyword = s.Keyword();
        try {
            if (keyword == "page") {
                CArgs(s).Finish();
                pages.emplace_back();
            } else if (keyword == "style") {
                Style(s);
            } else if (keyword == "header") {
                if (!pages.empty()) Fail(s.line, "'header' must come before the first page");
                if (headerSeen) Fail(s.line, "'header' is given twice");
                CArgs a(s);
                header = a.Text(0xFFFF, "header text");
                a.Finish();
                headerSeen = true;
            } else if (pages.empty()) {
                if (!PageHandlers().count(keyword)) Fail(s.line, "unknown command '" + s.tokens[0].text + "'");
                Fail(s.line, "'" + s.tokens[0].text + "' comes before the first 'page'");
            } else {
                PageCommand(s, pages.back());
            }
        } catch (const SCompileError& e) {
            Report(e.line, e.message);
        }
    }
    if (pages.empty() && m_errors.empty()) Report(number, "the script has no page");
    if (!m_errors.empty()) return false;

    CChunkWriter file;
    file.Tag("VSF3");
    file.U32(0);
    if (headerSeen) file.CStringChunk("MSTP", header);
    else file.EmptyChunk("MSTP");
    for (const CChunkWriter& page : pages) file.Chunk("PAGE", page.Data().data(), page.Size());
    file.EmptyChunk("EOF ");
    *output = file.Data();
    return true;
}

void CCompiler::Style(const SStatement& s) {
    CArgs a(s);
    std::string name = a.Keyword("style name");
    if (name == "default") Fail(s.line, "the style name 'default' is reserved");
    STextFormat format = ParseFormat(a);
    a.Finish();
    m_styles[name] = format;
}

const std::map<std::string, CCompiler::Handler>& CCompiler::PageHandlers() {
    static const std::map<std::string, CCompiler::Handler> handlers = {
        {"layer", &CCompiler::Layer},         {"mainlayer", &CCompiler::MainLayer},
        {"music", &CCompiler::Music},         {"voice", &CCompiler::Voice},
        {"se", &CCompiler::SoundEffect},      {"text", &CCompiler::Text},
        {"choice", &CCompiler::Choice},       {"jump", &CCompiler::Jump},
        {"camera", &CCompiler::Camera},       {"light", &CCompiler::Light},
        {"advance", &CCompiler::Advance},     {"lock", &CCompiler::Lock},
        {"movie", &CCompiler::Movie},         {"host", &CCompiler::Host},
        {"setflag", &CCompiler::SetFlag},     {"clearflag", &CCompiler::ClearFlag},
        {"cgflag", &CCompiler::CgFlag},       {"movieflag", &CCompiler::MovieFlag},
    };
    return handlers;
}

void CCompiler::PageCommand(const SStatement& s, CChunkWriter& page) {
    auto it = PageHandlers().find(s.Keyword());
    if (it == PageHandlers().end()) Fail(s.line, "unknown command '" + s.tokens[0].text + "'");
    Guarded(page, [&](CChunkWriter& w) { (this->*it->second)(s, w); });
}

void CCompiler::CompileBody(const SStatement& owner, CChunkWriter& w, const std::map<std::string, Handler>& handlers,
                            const std::string& kind) {
    for (const SStatement& sub : owner.body) {
        Guarded(w, [&](CChunkWriter& out) {
            auto it = handlers.find(sub.Keyword());
            if (it == handlers.end()) Fail(sub.line, "unknown " + kind + " command '" + sub.tokens[0].text + "'");
            (this->*it->second)(sub, out);
        });
    }
}

void CCompiler::RequireBlock(const SStatement& s) {
    if (!s.block) Fail(s.line, "'" + s.tokens[0].text + "' needs its commands after ':' or on the lines up to 'end'");
}

void CCompiler::RequireNoBlock(const SStatement& s) {
    if (s.block) Fail(s.line, "'" + s.tokens[0].text + "' takes no block");
}

void CCompiler::NoArguments(const SStatement& s, CChunkWriter& w, const char* tag) {
    CArgs(s).Finish();
    w.EmptyChunk(tag);
}

// ---------------------------------------------------------------------------------------------
// Picture layers

const std::map<std::string, CCompiler::Handler>& CCompiler::LayerHandlers() {
    static const std::map<std::string, CCompiler::Handler> handlers = {
        {"load", &CCompiler::LayerLoad},     {"release", &CCompiler::LayerRelease},
        {"offset", &CCompiler::LayerOffset}, {"pivot", &CCompiler::LayerPivot},
        {"source", &CCompiler::LayerSource}, {"scale", &CCompiler::LayerScale},
        {"angle", &CCompiler::LayerAngle},   {"colour", &CCompiler::LayerColour},
        {"color", &CCompiler::LayerColour},  {"blend", &CCompiler::LayerBlend},
        {"filter", &CCompiler::LayerFilter}, {"cut", &CCompiler::LayerCut},
        {"fade", &CCompiler::LayerFade},     {"model", &CCompiler::LayerModel},
    };
    return handlers;
}

void CCompiler::Layer(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    int32_t number = static_cast<int32_t>(a.Integer(0, 15, "layer number"));
    a.Finish();
    RequireBlock(s);
    w.I32Chunk("IMGN", number);
    w.Begin("IMAG");
    CompileBody(s, w, LayerHandlers(), "layer");
    w.End();
}

void CCompiler::MainLayer(const SStatement& s, CChunkWriter& w) {
    CArgs(s).Finish();
    RequireBlock(s);
    w.Begin("MIMG");
    CompileBody(s, w, LayerHandlers(), "layer");
    w.End();
}

void CCompiler::LayerLoad(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    std::string name = a.Text(kMaxPathBytes, "picture file name");
    a.Finish();
    if (name.empty()) Fail(s.line, "the picture file name is empty");
    w.CStringChunk("LOAD", name);
}

void CCompiler::LayerRelease(const SStatement& s, CChunkWriter& w) { NoArguments(s, w, "RLAS"); }

// A chunk of i32 values, one per name.
void IntegersChunk(const SStatement& s, CChunkWriter& w, const char* tag, std::initializer_list<const char*> names) {
    CArgs a(s);
    std::vector<int32_t> values;
    for (const char* name : names) values.push_back(static_cast<int32_t>(a.Integer(kMinI32, kMaxI32, name)));
    a.Finish();
    w.Header(tag, static_cast<uint32_t>(4 * values.size()));
    for (int32_t v : values) w.I32(v);
}

void CCompiler::LayerOffset(const SStatement& s, CChunkWriter& w) { IntegersChunk(s, w, "DPOS", {"x offset", "y offset"}); }

void CCompiler::LayerPivot(const SStatement& s, CChunkWriter& w) { IntegersChunk(s, w, "PIVO", {"pivot x", "pivot y"}); }

void CCompiler::LayerSource(const SStatement& s, CChunkWriter& w) {
    IntegersChunk(s, w, "DREC", {"left edge", "top edge", "right edge", "bottom edge"});
}

void CCompiler::LayerScale(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    float x = a.Float("horizontal scale");
    float y = a.Float("vertical scale");
    a.Finish();
    w.Header("SCAL", 8);
    w.F32(x);
    w.F32(y);
}

void CCompiler::LayerAngle(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    float angle = a.Float("angle in radians");
    a.Finish();
    w.Header("ANGL", 4);
    w.F32(angle);
}

void CCompiler::LayerColour(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    uint32_t colour = a.Colour("colour");
    a.Finish();
    w.U32Chunk("COLR", colour);
}

void CCompiler::LayerBlend(const SStatement& s, CChunkWriter& w) {
    static const char* const kModes[] = {"alpha", "add", "multiply", "exclusion", "screen", "shade", "brighten"};
    CArgs a(s);
    uint32_t mode = 7;
    for (uint32_t i = 0; i < 7; ++i)
        if (a.Take(kModes[i])) mode = i;
    if (mode == 7) mode = static_cast<uint32_t>(a.Integer(0, 6, "blend mode (alpha, add, multiply, exclusion, "
                                                                "screen, shade, brighten or 0 to 6)"));
    a.Finish();
    w.U32Chunk("DMOD", mode);
}

void CCompiler::LayerFilter(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    uint32_t filter;
    if (a.Take("linear")) filter = 1;
    else if (a.Take("point")) filter = 0;
    else Fail(s.line, "expected 'linear' or 'point' after 'filter'");
    a.Finish();
    w.U32Chunk("FILT", filter);
}

bool TakeDirection(CArgs& a, const char* command) {
    if (a.Take("in")) return true;
    if (a.Take("out")) return false;
    Fail(a.Line(), std::string("expected 'in' or 'out' after '") + command + "'");
}

int32_t DelayOption(CArgs& a, const std::string& command) {
    int32_t delay = 0;
    COptions options(a, command);
    for (std::string o = options.Next(); !o.empty(); o = options.Next()) {
        if (o == "delay") delay = static_cast<int32_t>(a.Integer(0, kMaxI32, "delay in ms"));
        else options.Unknown(o, "delay");
    }
    return delay;
}

void CCompiler::LayerCut(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    bool in = TakeDirection(a, "cut");
    int32_t delay = DelayOption(a, "cut");
    w.Header("EFEC", 12);
    w.U32(1);
    w.I32(delay);
    w.U32(in ? 1 : 0);
}

void CCompiler::LayerFade(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    bool in = TakeDirection(a, "fade");
    int32_t duration = static_cast<int32_t>(a.Integer(0, kMaxI32, "fade duration in ms"));
    int32_t delay = DelayOption(a, "fade");
    w.Header("EFEC", 16);
    w.U32(2);
    w.I32(delay);
    w.U32(in ? 0 : 1);
    w.I32(duration);
}

// ---------------------------------------------------------------------------------------------
// Models placed in a layer

const std::map<std::string, CCompiler::Handler>& CCompiler::ModelHandlers() {
    static const std::map<std::string, CCompiler::Handler> handlers = {
        {"pivot", &CCompiler::ModelPivot},      {"position", &CCompiler::ModelPosition},
        {"rotation", &CCompiler::ModelRotation}, {"scale", &CCompiler::ModelScale},
        {"blink", &CCompiler::ModelBlink},      {"lipsync", &CCompiler::ModelLipSync},
        {"depthclear", &CCompiler::ModelDepthClear}, {"motion", &CCompiler::ModelMotion},
        {"part", &CCompiler::ModelPart},
    };
    return handlers;
}

const std::map<std::string, CCompiler::Handler>& CCompiler::PartHandlers() {
    static const std::map<std::string, CCompiler::Handler> handlers = {
        {"colour", &CCompiler::PartColour}, {"color", &CCompiler::PartColour},
        {"morph", &CCompiler::PartMorph},   {"fade", &CCompiler::PartFade},
    };
    return handlers;
}

void CCompiler::LayerModel(const SStatement& s, CChunkWriter& w) {
    CArgs(s).Finish();
    RequireBlock(s);
    w.Begin("SOLD");
    CompileBody(s, w, ModelHandlers(), "model");
    w.End();
}

void CCompiler::ModelBlink(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    if (a.Take("off")) {
        a.Finish();
        w.U32Chunk("BLNK", 0);
        return;
    }
    int32_t layer = static_cast<int32_t>(a.Integer(0, kMaxI32, "eye layer"));
    int32_t target = static_cast<int32_t>(a.Integer(0, 0xFFFF, "closed-eye layer"));
    int32_t period = static_cast<int32_t>(a.Integer(0, kMaxI32, "blink period in ms"));
    a.Finish();
    w.Header("BLNK", 16);
    w.U32(1);
    w.I32(layer);
    w.I32(target);
    w.I32(period);
}

void CCompiler::ModelLipSync(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    int32_t layer = static_cast<int32_t>(a.Integer(0, kMaxI32, "mouth layer"));
    int32_t target = static_cast<int32_t>(a.Integer(0, 0xFFFF, "open-mouth layer"));
    int32_t channel = static_cast<int32_t>(a.Integer(-1, 3, "voice channel (-1 for none)"));
    a.Finish();
    w.Header("LIPS", 12);
    w.I32(layer);
    w.I32(target);
    w.I32(channel);
}

void CCompiler::ModelDepthClear(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    int32_t on;
    if (a.Take("on")) on = 1;
    else if (a.Take("off")) on = 0;
    else Fail(s.line, "expected 'on' or 'off' after 'depthclear'");
    a.Finish();
    w.I32Chunk("ZCLR", on);
}

void CCompiler::ModelMotion(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    CChunkWriter segments;
    uint32_t count = 0;
    while (a.Take("segment")) {
        segments.U32(static_cast<uint32_t>(a.Integer(0, 0xFFFFFFFFll, "first frame")));
        segments.U32(static_cast<uint32_t>(a.Integer(0, 0xFFFFFFFFll, "last frame")));
        segments.U32(static_cast<uint32_t>(a.Integer(0, kMaxI32, "ms per frame")));
        segments.U32(static_cast<uint32_t>(a.Integer(0, kMaxI32, "hold time in ms")));
        segments.U32(static_cast<uint32_t>(a.Integer(0, kMaxI32, "blend time in ms")));
        ++count;
    }
    if (count == 0) Fail(s.line, "'motion' needs at least one 'segment FIRST LAST MS-PER-FRAME HOLD BLEND'");
    a.Finish();
    w.Header("PFLM", 4 + 20 * count);
    w.U32(count);
    w.Append(segments);
}

void CCompiler::ModelPart(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    int32_t layer = static_cast<int32_t>(a.Integer(0, kMaxI32, "mesh layer number"));
    a.Finish();
    RequireBlock(s);
    w.I32Chunk("LNO ", layer);
    w.Begin("LAYR");
    CompileBody(s, w, PartHandlers(), "part");
    w.End();
}

void CCompiler::PartMorph(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    int32_t target = static_cast<int32_t>(a.Integer(-1, kMaxI32, "morph target layer (-1 for none)"));
    CChunkWriter payload;
    payload.I32(target);
    AnimatedPayload(a, payload, 1);
    w.Chunk("MORP", payload.Data().data(), payload.Size());
}

void CCompiler::PartFade(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    bool in = TakeDirection(a, "fade");
    uint32_t duration = static_cast<uint32_t>(a.Integer(0, kMaxI32, "fade duration in ms"));
    uint32_t start = 0;
    COptions options(a, "fade");
    for (std::string o = options.Next(); !o.empty(); o = options.Next()) {
        if (o == "start") start = static_cast<uint32_t>(a.Integer(0, kMaxI32, "start time in ms"));
        else options.Unknown(o, "start");
    }
    w.Header("FADE", 12);
    w.U32(in ? 1 : 2);
    w.U32(duration);
    w.U32(start);
}

// A value that is either static ("x y z") or key-framed ("linear|cubic at T x y z at T x y z ...").
void CCompiler::AnimatedPayload(CArgs& a, CChunkWriter& w, int components) {
    bool cubic = a.Peek("cubic");
    if (a.Take("linear") || a.Take("cubic")) {
        CChunkWriter keys;
        uint32_t count = 0;
        int64_t previous = -1;
        while (a.Take("at")) {
            int64_t time = a.Integer(0, kMaxI32, "key time in ms");
            if (time <= previous) Fail(a.Line(), "key times must increase (" + std::to_string(time) + " follows " +
                                                     std::to_string(previous) + ")");
            previous = time;
            keys.I32(static_cast<int32_t>(time));
            for (int i = 0; i < components; ++i) keys.F32(a.Float("key value"));
            if (++count > 65536) Fail(a.Line(), "a track holds at most 65536 keys");
        }
        if (count == 0) Fail(a.Line(), "an animated value needs at least one 'at TIME value...' key");
        a.Finish();
        w.U32(1);
        w.U32(cubic ? 1 : 0);
        w.U32(count);
        w.Append(keys);
        return;
    }
    float values[4];
    for (int i = 0; i < components; ++i) values[i] = a.Float("value");
    a.Finish();
    w.U32(0);
    for (int i = 0; i < components; ++i) w.F32(values[i]);
}

void CCompiler::AnimatedValue(const SStatement& s, CChunkWriter& w, const char* tag, int components) {
    CArgs a(s);
    CChunkWriter payload;
    AnimatedPayload(a, payload, components);
    w.Chunk(tag, payload.Data().data(), payload.Size());
}

// ---------------------------------------------------------------------------------------------
// Sound channels

const std::map<std::string, CCompiler::Handler>& CCompiler::SoundHandlers() {
    static const std::map<std::string, CCompiler::Handler> handlers = {
        {"load", &CCompiler::SoundLoad},   {"release", &CCompiler::SoundRelease},
        {"play", &CCompiler::SoundPlay},   {"restart", &CCompiler::SoundRestart},
        {"pause", &CCompiler::SoundPause}, {"stop", &CCompiler::SoundStop},
        {"volume", &CCompiler::SoundVolume}, {"pan", &CCompiler::SoundPan},
        {"tempo", &CCompiler::SoundTempo},
    };
    return handlers;
}

void CCompiler::Sound(const SStatement& s, CChunkWriter& w, const char* numberTag, const char* commandTag,
                      int maxChannel, const std::string& what) {
    CArgs a(s);
    int32_t channel = static_cast<int32_t>(a.Integer(0, maxChannel, what));
    a.Finish();
    RequireBlock(s);
    w.I32Chunk(numberTag, channel);
    w.Begin(commandTag);
    CompileBody(s, w, SoundHandlers(), "sound");
    w.End();
}

void CCompiler::SoundLoad(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    std::string name = a.Text(kMaxPathBytes, "sound file name");
    a.Finish();
    std::string extension = name.size() >= 4 ? Lower(name.substr(name.size() - 4)) : "";
    if (extension != ".ogg" && extension != ".wav") Fail(s.line, "a sound file name must end in .ogg or .wav");
    w.CStringChunk("LOAD", name);
}

void CCompiler::SoundStart(const SStatement& s, CChunkWriter& w, uint32_t code) {
    CArgs a(s);
    uint32_t times = 1, loopBack = 0, delay = 0;
    COptions options(a, code == 0 ? "restart" : "play");
    for (std::string o = options.Next(); !o.empty(); o = options.Next()) {
        if (o == "times") times = static_cast<uint32_t>(a.Integer(0, kMaxI32, "play count (0 for endless)"));
        else if (o == "endless") times = 0;
        else if (o == "loopback") loopBack = static_cast<uint32_t>(a.Integer(0, kMaxI32, "loop-back point in ms"));
        else if (o == "delay") delay = static_cast<uint32_t>(a.Integer(0, kMaxI32, "delay in ms"));
        else options.Unknown(o, "times, endless, loopback, delay");
    }
    w.Header("STAT", 16);
    w.U32(code);
    w.U32(delay);
    w.U32(times);
    w.U32(loopBack);
}

void CCompiler::SoundPause(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    uint32_t delay = static_cast<uint32_t>(DelayOption(a, "pause"));
    w.Header("STAT", 8);
    w.U32(2);
    w.U32(delay);
}

void CCompiler::SoundStop(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    float speed = 0;
    uint32_t delay = 0;
    COptions options(a, "stop");
    for (std::string o = options.Next(); !o.empty(); o = options.Next()) {
        if (o == "fade") speed = a.Float("fade-out speed in 1/100 dB per ms");
        else if (o == "delay") delay = static_cast<uint32_t>(a.Integer(0, kMaxI32, "delay in ms"));
        else options.Unknown(o, "fade, delay");
    }
    w.Header("STAT", 12);
    w.U32(3);
    w.U32(delay);
    w.F32(speed);
}

void CCompiler::SoundTarget(const SStatement& s, CChunkWriter& w, const char* tag, int32_t min, int32_t max,
                            const std::string& what) {
    CArgs a(s);
    int32_t target = static_cast<int32_t>(a.Integer(min, max, what));
    float speed = 0;
    uint32_t delay = 0;
    COptions options(a, what);
    for (std::string o = options.Next(); !o.empty(); o = options.Next()) {
        if (o == "speed") speed = a.Float("speed per ms");
        else if (o == "delay") delay = static_cast<uint32_t>(a.Integer(0, kMaxI32, "delay in ms"));
        else options.Unknown(o, "speed, delay");
    }
    w.Header(tag, 12);
    w.I32(target);
    w.F32(speed);
    w.U32(delay);
}

// ---------------------------------------------------------------------------------------------
// Message text

void CCompiler::Text(const SStatement& s, CChunkWriter& w) {
    CArgs(s).Finish();
    RequireBlock(s);
    bool noLog = false, noEffect = false, hidden = false, noWait = false;
    std::string name;
    STextBuilder text;
    STextFormat format = DefaultTextFormat();
    bool failed = false;
    for (const SStatement& sub : s.body) {
        try {
            CArgs a(sub);
            std::string keyword = sub.Keyword();
            if (keyword == "name") {
                name = a.Text(kMaxNameBytes, "name");
            } else if (keyword == "say") {
                std::string piece = a.Text(SIZE_MAX, "text");
                text.Append(piece, format);
            } else if (keyword == "font") {
                if (a.Take("default")) {
                    format = DefaultTextFormat();
                } else if (!a.PeekString()) {
                    std::string style = a.Keyword("style name");
                    auto it = m_styles.find(style);
                    if (it == m_styles.end()) Fail(sub.line, "unknown style '" + style + "'");
                    format = it->second;
                } else {
                    format = ParseFormat(a);
                }
            } else if (keyword == "nolog") noLog = true;
            else if (keyword == "noeffect") noEffect = true;
            else if (keyword == "hide") hidden = true;
            else if (keyword == "nowait") noWait = true;
            else Fail(sub.line, "unknown text command '" + sub.tokens[0].text + "'");
            a.Finish();
        } catch (const SCompileError& e) {
            Report(e.line, e.message);
            failed = true;
        }
    }
    if (failed) return;
    CArgs::CheckLength(s.line, text.text, kMaxTextBytes, "page text");
    text.records.push_back(format);  // the terminating zero's record
    if (text.records.size() > kMaxTextRecords) Fail(s.line, "the page text has more than 255 characters");

    w.Begin("TEXT");
    if (noLog) w.EmptyChunk("NBLF");
    if (noEffect) w.EmptyChunk("NEF ");
    if (hidden) w.EmptyChunk("WHF ");
    if (noWait) w.EmptyChunk("NIWF");
    if (!name.empty()) w.CStringChunk("NAME", name);
    w.CStringChunk("TEXT", text.text);
    w.Begin("TFMT");
    for (size_t i = 0; i < text.records.size();) {
        size_t run = 1;
        while (i + run < text.records.size() && text.records[i + run] == text.records[i]) ++run;
        const STextFormat& f = text.records[i];
        uint32_t faceLength = static_cast<uint32_t>(f.face.size() + 1);
        w.U32(faceLength + 18);
        w.U32(faceLength);
        w.CString(f.face);
        w.I32(f.height);
        w.U8(f.bold);
        w.U8(f.italic);
        w.U32(f.colour);
        w.U32(static_cast<uint32_t>(run));
        i += run;
    }
    w.End();
    w.End();
}

// ---------------------------------------------------------------------------------------------
// Choices and jumps

void CCompiler::Choice(const SStatement& s, CChunkWriter& w) {
    CArgs(s).Finish();
    RequireBlock(s);
    w.Begin("SELE");
    uint32_t index = 0;
    for (const SStatement& sub : s.body) {
        Guarded(w, [&](CChunkWriter& out) {
            CArgs a(sub);
            if (sub.Keyword() != "option")
                Fail(sub.line, "unknown choice command '" + sub.tokens[0].text + "' (expected 'option')");
            std::string text = a.Text(63, "choice text");
            if (!a.Take("goto")) Fail(sub.line, "expected 'goto \"script\"' after the choice text");
            std::string target = a.Text(kMaxPathBytes, "target script name");
            a.Finish();
            if (target.empty()) Fail(sub.line, "the target script name is empty");
            if (index >= 4) Fail(sub.line, "a choice offers at most 4 options");
            out.U32Chunk("SELN", index);
            out.CStringChunk("TEXT", text);
            out.CStringChunk("JMPF", target);
            ++index;
        });
    }
    if (s.body.empty()) Fail(s.line, "a choice needs at least one 'option'");
    w.End();
}

void CCompiler::Jump(const SStatement& s, CChunkWriter& w) {
    CArgs(s).Finish();
    RequireBlock(s);
    w.Begin("JUNP");
    int32_t entry = 0;
    for (const SStatement& sub : s.body) {
        Guarded(w, [&](CChunkWriter& out) {
            CArgs a(sub);
            if (sub.Keyword() != "goto")
                Fail(sub.line, "unknown jump command '" + sub.tokens[0].text + "' (expected 'goto')");
            std::string target = a.Text(kMaxPathBytes, "target script name");
            std::vector<uint32_t> set, clear;
            COptions options(a, "goto");
            for (std::string o = options.Next(); !o.empty(); o = options.Next()) {
                std::vector<uint32_t>* list = o == "if" ? &set : o == "unless" ? &clear : nullptr;
                if (!list) options.Unknown(o, "if, unless");
                while (!a.AtEnd() && !a.Peek("if") && !a.Peek("unless"))
                    list->push_back(static_cast<uint32_t>(a.Integer(0, 255, "game flag number")));
                if (list->empty()) Fail(sub.line, "'" + o + "' needs at least one flag number");
                if (list->size() > 256) Fail(sub.line, "a flag list holds at most 256 numbers");
            }
            if (entry >= 8) Fail(sub.line, "a jump table holds at most 8 entries");
            out.I32Chunk("JMPN", entry);
            if (!set.empty()) {
                out.Header("UPF ", static_cast<uint32_t>(4 * set.size()));
                for (uint32_t f : set) out.U32(f);
            }
            if (!clear.empty()) {
                out.Header("DWNF", static_cast<uint32_t>(4 * clear.size()));
                for (uint32_t f : clear) out.U32(f);
            }
            out.CStringChunk("JMPF", target);
            ++entry;
        });
    }
    if (s.body.empty()) Fail(s.line, "a jump table needs at least one 'goto'");
    w.End();
}

// ---------------------------------------------------------------------------------------------
// Camera and lights

void CCompiler::Camera(const SStatement& s, CChunkWriter& w) {
    CArgs(s).Finish();
    RequireBlock(s);
    static const std::map<std::string, std::pair<const char*, int>> elements = {
        {"position", {"POS ", 3}}, {"angles", {"ANGL", 3}}, {"fov", {"FOV ", 1}}};
    w.Begin("CAM ");
    for (const SStatement& sub : s.body) {
        Guarded(w, [&](CChunkWriter& out) {
            auto it = elements.find(sub.Keyword());
            if (it == elements.end()) Fail(sub.line, "unknown camera command '" + sub.tokens[0].text + "'");
            AnimatedValue(sub, out, it->second.first, it->second.second);
        });
    }
    w.End();
}

void CCompiler::Light(const SStatement& s, CChunkWriter& w) {
    CArgs(s).Finish();
    RequireBlock(s);
    static const std::map<std::string, std::pair<const char*, int>> elements = {
        {"ambient", {"AMBT", 3}}, {"colour1", {"COL1", 3}}, {"color1", {"COL1", 3}}, {"colour2", {"COL2", 3}},
        {"color2", {"COL2", 3}},  {"angles1", {"ANG1", 2}}, {"angles2", {"ANG2", 2}}};
    w.Begin("LGHT");
    for (const SStatement& sub : s.body) {
        Guarded(w, [&](CChunkWriter& out) {
            auto it = elements.find(sub.Keyword());
            if (it == elements.end()) Fail(sub.line, "unknown light command '" + sub.tokens[0].text + "'");
            AnimatedValue(sub, out, it->second.first, it->second.second);
        });
    }
    w.End();
}

// ---------------------------------------------------------------------------------------------
// Waits, movies, host commands, flags

void CCompiler::Wait(const SStatement& s, CChunkWriter& w, const char* tag, const char* timeTag) {
    RequireNoBlock(s);
    CArgs a(s);
    uint32_t time = static_cast<uint32_t>(a.Integer(0, kMaxI32, "time in ms"));
    bool effects = false, text = false;
    for (;;) {
        if (a.Take("effects")) effects = true;
        else if (a.Take("text")) text = true;
        else break;
    }
    a.Finish();
    w.Header(tag, (effects ? 8 : 0) + (text ? 8 : 0) + 12);
    if (effects) w.EmptyChunk("IWF ");
    if (text) w.EmptyChunk("TWF ");
    w.U32Chunk(timeTag, time);
}

void CCompiler::Movie(const SStatement& s, CChunkWriter& w) {
    CArgs a(s);
    std::string path = a.Text(kMaxPathBytes, "movie file name");
    if (path.empty()) Fail(s.line, "the movie file name is empty");
    std::string target;
    bool jump = false, noSkip = false;
    COptions options(a, "movie");
    for (std::string o = options.Next(); !o.empty(); o = options.Next()) {
        if (o == "goto") {
            target = a.Text(kMaxPathBytes, "target script name");
            jump = true;
        } else if (o == "noskip") {
            noSkip = true;
        } else {
            options.Unknown(o, "goto, noskip");
        }
    }
    w.Begin("MOVI");
    w.CStringChunk("MOVF", path);
    if (jump) w.CStringChunk("JMPF", target);
    if (noSkip) w.EmptyChunk("SREF");
    w.End();
}

void CCompiler::Host(const SStatement& s, CChunkWriter& w) {
    if (s.rest.empty()) Fail(s.line, "missing the host command text");
    std::string text = ToSjis(s.line, s.rest);
    CArgs::CheckLength(s.line, text, 4095, "host command text");
    w.CStringChunk("SSCR", text);
}

void CCompiler::FlagList(const SStatement& s, CChunkWriter& w, const char* tag, int64_t max, const std::string& what) {
    RequireNoBlock(s);
    CArgs a(s);
    std::vector<uint32_t> flags;
    while (!a.AtEnd()) flags.push_back(static_cast<uint32_t>(a.Integer(0, max, what + " number")));
    if (flags.empty()) Fail(s.line, "missing the " + what + " number");
    w.Header(tag, static_cast<uint32_t>(4 * flags.size()));
    for (uint32_t f : flags) w.U32(f);
}

}  // namespace

bool CompileScript(std::string_view source, const std::string& fileName, std::vector<uint8_t>* output,
                   std::vector<std::string>* errors) {
    CCompiler compiler(fileName);
    bool ok = compiler.Compile(source, output);
    if (errors) *errors = compiler.Errors();
    return ok;
}

bool CompileScriptFile(const std::string& sourcePath, const std::string& outputPath, std::vector<std::string>* errors) {
    std::ifstream in(sourcePath, std::ios::binary);
    if (!in) {
        if (errors) *errors = {sourcePath + ": cannot be read"};
        return false;
    }
    std::stringstream contents;
    contents << in.rdbuf();
    std::vector<uint8_t> output;
    if (!CompileScript(contents.str(), sourcePath, &output, errors)) return false;
    if (!WriteFileAtomically(outputPath, output.data(), output.size())) {
        if (errors) *errors = {outputPath + ": cannot be written"};
        return false;
    }
    return true;
}
