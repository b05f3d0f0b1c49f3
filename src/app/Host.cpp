// The current host, the quiet default host, message formatting and the
// message-box helper.
#include "app/Host.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "app/Strings.h"

namespace {

// Answers every question with the safe choice and shows nothing: stands in
// until a real host is installed (and in tools that have no user).
class CQuietHost final : public CHost {
public:
    MsgAnswer MessageBox(const std::string&, const std::string&, MsgButtons buttons,
                         MsgIcon) override
    {
        return SafeAnswer(buttons);
    }
    void Beep(BeepKind) override {}
    bool PromptFileName(const std::string&, std::string&, const std::string&,
                        const std::string&, const std::string&, bool) override
    {
        return false;
    }
    bool PromptDirectory(std::string&) override { return false; }
    bool AbortKeyPressed() override { return false; }

    static MsgAnswer SafeAnswer(MsgButtons buttons)
    {
        switch (buttons) {
        case MB_OK_ONLY: return ANSWER_OK;
        case MB_YES_NO: return ANSWER_NO;
        case MB_OK_CANCEL:
        case MB_YES_NO_CANCEL:
        case MB_RETRY_CANCEL: break;
        }
        return ANSWER_CANCEL;
    }
};

CQuietHost g_quietHost;
CHost* g_host = nullptr;

// Longest width or precision honoured in a conversion: keeps a hostile or
// mistyped format from asking for gigabytes of padding.
constexpr int kMaxFieldWidth = 4096;

// One parsed conversion: "%-08.3lx" -> flags "-0", width 8, precision 3, 'x'.
struct Conversion {
    std::string flags;
    int width = -1;
    int precision = -1;
    char type = 0;
};

// Reads a decimal width or precision, bounded; '*' takes the value from the
// next argument.
int ReadCount(const std::string& format, std::size_t& i, const std::vector<std::string>& args,
              std::size_t& next)
{
    if (i < format.size() && format[i] == '*') {
        ++i;
        long v = next < args.size() ? std::strtol(args[next].c_str(), nullptr, 10) : 0;
        ++next;
        return static_cast<int>(std::clamp<long>(v, 0, kMaxFieldWidth));
    }
    long v = 0;
    bool any = false;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
        v = std::min<long>(v * 10 + (format[i] - '0'), kMaxFieldWidth);
        any = true;
        ++i;
    }
    return any ? static_cast<int>(v) : -1;
}

// Parses the conversion starting after '%' at `i`; false when the format ends
// before a conversion letter.
bool ParseConversion(const std::string& format, std::size_t& i, Conversion& conv,
                     const std::vector<std::string>& args, std::size_t& next)
{
    while (i < format.size() && std::string("-+ #0").find(format[i]) != std::string::npos)
        conv.flags += format[i++];
    conv.width = ReadCount(format, i, args, next);
    if (i < format.size() && format[i] == '.') {
        ++i;
        conv.precision = std::max(ReadCount(format, i, args, next), 0);
    }
    // Length modifiers only describe the caller's C type; every argument is text here.
    while (i < format.size() && std::string("hlLqjzt").find(format[i]) != std::string::npos)
        ++i;
    if (i >= format.size()) return false;
    conv.type = format[i++];
    return true;
}

// The argument text as a signed integer: leading blanks, optional sign and
// digits; anything else reads as 0, out-of-range values saturate.
long long ArgAsInteger(const std::string& text)
{
    const char* start = text.c_str();
    char* end = nullptr;
    long long v = std::strtoll(start, &end, 10);
    if (end == start) return 0;
    return v;
}

std::string Pad(std::string body, const Conversion& conv)
{
    if (conv.width < 0 || static_cast<int>(body.size()) >= conv.width) return body;
    const std::size_t fill = conv.width - body.size();
    if (conv.flags.find('-') != std::string::npos) return body + std::string(fill, ' ');
    return std::string(fill, ' ') + body;
}

// snprintf with a format built from our own parsed pieces, so the type always
// matches the value passed.
template <typename T>
std::string FormatNumber(const Conversion& conv, const char* length, T value)
{
    std::string spec = "%" + conv.flags;
    if (conv.width >= 0) spec += std::to_string(conv.width);
    if (conv.precision >= 0) spec += "." + std::to_string(conv.precision);
    spec += length;
    spec += conv.type;
    char buffer[kMaxFieldWidth * 2 + 64];
    int n = std::snprintf(buffer, sizeof buffer, spec.c_str(), value);
    if (n < 0) return std::string();
    return std::string(buffer, std::min<std::size_t>(n, sizeof buffer - 1));
}

std::string FormatOne(const Conversion& conv, const std::string& arg)
{
    switch (conv.type) {
    case 's': {
        std::string body = arg;
        if (conv.precision >= 0 && static_cast<int>(body.size()) > conv.precision)
            body.resize(conv.precision);
        return Pad(body, conv);
    }
    case 'c': return Pad(arg.empty() ? std::string() : arg.substr(0, 1), conv);
    case 'd':
    case 'i': return FormatNumber(conv, "ll", ArgAsInteger(arg));
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        return FormatNumber(conv, "ll", static_cast<unsigned long long>(ArgAsInteger(arg)));
    case 'f':
    case 'g':
    case 'e': return FormatNumber(conv, "", std::strtod(arg.c_str(), nullptr));
    default: return std::string();
    }
}

}  // namespace

CHost& Host()
{
    return g_host ? *g_host : g_quietHost;
}

void SetHost(CHost* host)
{
    g_host = host;
}

std::string FormatText(const std::string& format, const std::vector<std::string>& args)
{
    std::string out;
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        const std::size_t start = i - 1;
        Conversion conv;
        if (!ParseConversion(format, i, conv, args, next)) {
            out += format.substr(start);   // a lone '%' at the end stays as written
            break;
        }
        if (std::string("sciduxXofge").find(conv.type) == std::string::npos) {
            out += format.substr(start, i - start);   // unknown conversion: left as written
            continue;
        }
        // A missing argument formats as an empty text (0 for numbers).
        const std::string arg = next < args.size() ? args[next] : std::string();
        ++next;
        out += FormatOne(conv, arg);
    }
    return out;
}

std::string FormatString(int id, const std::vector<std::string>& args)
{
    return FormatText(GetString(id), args);
}

MsgAnswer ShowMessage(const std::string& text, int captionId, MsgButtons buttons, MsgIcon icon)
{
    if (icon == ICON_EXCLAMATION) Host().Beep(BEEP_EXCLAMATION);
    if (icon == ICON_STOP) Host().Beep(BEEP_STOP);
    // Caption 0 is the program's own title.
    const std::string caption = captionId > 0 ? GetString(captionId) : std::string("TAVREL");
    return Host().MessageBox(text, caption, buttons, icon);
}

MsgAnswer ShowMessage(int textId, int captionId, MsgButtons buttons, MsgIcon icon)
{
    return ShowMessage(GetString(textId), captionId, buttons, icon);
}
