// The error record: a failing call stores its format and up to five
// arguments, and the text is only formatted when somebody reads it.

#include "JEX_error.h"
#include "JEX_log.h"
#include "error_internal.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// The process-wide part of the error state. The main thread and every thread
// the library did not create share `global_record`; `global_lock` guards it
// (writers and readers alike), so a reader sees one whole message or another.
struct ErrorState {
    JEX_ErrorRecord global_record;
    std::mutex global_lock;
};
ErrorState g_errors;

// The per-thread part, touched only by its own thread: `record` is set by the
// start routine of library threads to the record inside their thread record
// (null everywhere else), and each thread formats into its own `message`, so
// another thread's error never garbles the text a caller is reading.
struct ThreadErrorState {
    JEX_ErrorRecord *record = nullptr;
    char message[JEX_ERRBUFSIZE];
};
thread_local ThreadErrorState t_errors;

// A field width or precision wider than the formatted-message buffer changes
// nothing that can be shown, so larger ones are clamped to this: printing a
// field of a billion blanks would only burn time.
constexpr int kMaxField = JEX_ERRBUFSIZE;

// Integer width a conversion reads from the argument list.
enum class Length { Int, Long, LongLong, Size, IntMax, PtrDiff, LongDouble };

// Skips the length modifier at *p, if any, and returns its kind.
Length SkipLength(const char *&p)
{
    switch (*p) {
    case 'h':
        ++p;
        if (*p == 'h')
            ++p;
        return Length::Int;
    case 'l':
        ++p;
        if (*p == 'l') {
            ++p;
            return Length::LongLong;
        }
        return Length::Long;
    case 'z': ++p; return Length::Size;
    case 'j': ++p; return Length::IntMax;
    case 't': ++p; return Length::PtrDiff;
    case 'L': ++p; return Length::LongDouble;
    default: return Length::Int;
    }
}

bool IsSignedConversion(char c)
{
    return c == 'c' || c == 'd' || c == 'i';
}
bool IsUnsignedConversion(char c)
{
    return c == 'o' || c == 'u' || c == 'x' || c == 'X';
}
bool IsFloatConversion(char c)
{
    return c == 'f' || c == 'F' || c == 'e' || c == 'E' || c == 'g' || c == 'G' || c == 'a' ||
           c == 'A';
}
bool IsFlag(char c)
{
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One conversion as printf reads it: flags, width, precision (either of
// which may be "*", an int taken from the arguments), length and conversion
// character. `text` holds it rebuilt for snprintf without length and
// conversion, with literal numbers clamped to kMaxField.
struct Conversion {
    char text[24];
    size_t len = 0;
    int stars = 0;
    Length length = Length::Int;
    char conv = '\0';  // '\0': the format ended inside the conversion
};

void Append(Conversion &c, char ch)
{
    c.text[c.len++] = ch;
    c.text[c.len] = '\0';
}

// Reads a run of digits (at least one is there) and appends its clamped value.
void AppendNumber(Conversion &c, const char *&p)
{
    long value = 0;
    for (; IsDigit(*p); ++p)
        if (value <= kMaxField)
            value = value * 10 + (*p - '0');
    c.len += static_cast<size_t>(std::snprintf(c.text + c.len, sizeof(c.text) - c.len, "%ld",
                                               value > kMaxField ? long{kMaxField} : value));
}

// Parses the conversion after a "%" at p and leaves p after it. The stored
// format is always terminated, so reading stops at its end either way.
Conversion ParseConversion(const char *&p)
{
    Conversion c;
    Append(c, '%');
    for (; IsFlag(*p); ++p)
        if (!std::strchr(c.text + 1, *p))  // a repeated flag says nothing new
            Append(c, *p);
    if (*p == '*') {
        Append(c, '*');
        ++c.stars;
        ++p;
    } else if (IsDigit(*p)) {
        AppendNumber(c, p);
    }
    if (*p == '.') {
        Append(c, '.');
        ++p;
        if (*p == '*') {
            Append(c, '*');
            ++c.stars;
            ++p;
        } else if (IsDigit(*p)) {
            AppendNumber(c, p);
        }
    }
    c.length = SkipLength(p);
    c.conv = *p;
    if (c.conv != '\0')
        ++p;
    return c;
}

Sint64 TakeSigned(Length length, va_list &ap)
{
    switch (length) {
    case Length::Long: return va_arg(ap, long);
    case Length::LongLong: return va_arg(ap, long long);
    case Length::Size: return static_cast<Sint64>(va_arg(ap, size_t));
    case Length::IntMax: return va_arg(ap, intmax_t);
    case Length::PtrDiff: return va_arg(ap, ptrdiff_t);
    default: return va_arg(ap, int);
    }
}

Sint64 TakeUnsigned(Length length, va_list &ap)
{
    switch (length) {
    case Length::Long: return static_cast<Sint64>(va_arg(ap, unsigned long));
    case Length::LongLong: return static_cast<Sint64>(va_arg(ap, unsigned long long));
    case Length::Size: return static_cast<Sint64>(va_arg(ap, size_t));
    case Length::IntMax: return static_cast<Sint64>(va_arg(ap, uintmax_t));
    case Length::PtrDiff: return static_cast<Sint64>(va_arg(ap, ptrdiff_t));
    default: return static_cast<Sint64>(static_cast<Uint64>(va_arg(ap, unsigned int)));
    }
}

// Takes the caller's arguments in the order printf would: each "*" takes an
// int of its own slot, then the conversion takes its value. Stops once the
// five slots are used.
void StoreArguments(JEX_ErrorRecord &rec, const char *fmt, va_list &ap)
{
    rec.arg_count = 0;
    for (const char *p = fmt; *p;) {
        if (*p++ != '%')
            continue;
        const Conversion c = ParseConversion(p);
        if (c.conv == '\0')
            return;
        for (int i = 0; i < c.stars; ++i) {
            if (rec.arg_count == JEX_ERROR_MAXARGS)
                return;
            rec.args[rec.arg_count++].value_l = va_arg(ap, int);
        }
        const char conv = c.conv;
        const bool takes = IsSignedConversion(conv) || IsUnsignedConversion(conv) || conv == 'p' ||
                           conv == 's' || IsFloatConversion(conv);
        if (!takes)
            continue;  // "%%" and unknown conversions take nothing
        if (rec.arg_count == JEX_ERROR_MAXARGS)
            return;
        JEX_ErrorArg &arg = rec.args[rec.arg_count++];
        if (IsSignedConversion(conv)) {
            arg.value_l = TakeSigned(c.length, ap);
        } else if (IsUnsignedConversion(conv)) {
            arg.value_l = TakeUnsigned(c.length, ap);
        } else if (conv == 'p') {
            arg.value_ptr = va_arg(ap, void *);
        } else if (conv == 's') {
            const char *s = va_arg(ap, const char *);
            if (!s)
                s = "(null)";
            std::strncpy(arg.buf, s, sizeof(arg.buf) - 1);
            arg.buf[sizeof(arg.buf) - 1] = '\0';
        } else {
            arg.value_f = c.length == Length::LongDouble
                              ? static_cast<double>(va_arg(ap, long double))
                              : va_arg(ap, double);
        }
    }
}

template <typename T>
int PrintPiece(char *out, size_t room, const char *spec, const int *stars, int count, T value)
{
    switch (count) {
    case 0: return std::snprintf(out, room, spec, value);
    case 1: return std::snprintf(out, room, spec, stars[0], value);
    default: return std::snprintf(out, room, spec, stars[0], stars[1], value);
    }
}

int Clamp(Sint64 v)
{
    return static_cast<int>(v < -kMaxField ? -kMaxField : v > kMaxField ? kMaxField : v);
}

// Formats a record into buf (size >= 1). Arguments are printed with the
// flags, width and precision written in the format; integers always go
// through a 64-bit conversion, because that is how they are stored.
void FormatRecord(const JEX_ErrorRecord &rec, char *buf, size_t size)
{
    buf[0] = '\0';
    if (!rec.error)
        return;
    char *out = buf;
    size_t left = size - 1;
    int next_arg = 0;
    // The record is public and may have been edited: read a terminated copy.
    char format[sizeof(rec.format) + 1];
    std::memcpy(format, rec.format, sizeof(rec.format));
    format[sizeof(rec.format)] = '\0';
    const char *p = format;

    while (*p && left > 0) {
        if (*p != '%') {
            *out++ = *p++;
            --left;
            continue;
        }
        ++p;
        Conversion c = ParseConversion(p);
        if (c.conv == '\0')
            break;
        // Stars use their slots whatever follows, as they did when stored.
        int stars[2] = {0, 0};
        bool missing = false;
        for (int i = 0; i < c.stars; ++i)
            if (next_arg < rec.arg_count)
                stars[i] = Clamp(rec.args[next_arg++].value_l);
            else
                missing = true;
        if (c.conv == '%') {
            *out++ = '%';
            --left;
            continue;
        }
        const char conv = c.conv;
        const bool integer = IsSignedConversion(conv) || IsUnsignedConversion(conv);
        const bool known = integer || conv == 'p' || conv == 's' || IsFloatConversion(conv);
        if (!known || missing || next_arg >= rec.arg_count)
            continue;  // nothing stored for it: print nothing, read nothing
        const JEX_ErrorArg &arg = rec.args[next_arg++];

        int written;
        if (conv == 'c') {
            Append(c, 'c');
            written =
                PrintPiece(out, left + 1, c.text, stars, c.stars, static_cast<int>(arg.value_l));
        } else if (integer) {
            Append(c, 'l');
            Append(c, 'l');
            Append(c, conv);
            written = PrintPiece(out, left + 1, c.text, stars, c.stars,
                                 static_cast<long long>(arg.value_l));
        } else {
            Append(c, conv);
            if (conv == 'p')
                written = PrintPiece(out, left + 1, c.text, stars, c.stars, arg.value_ptr);
            else if (conv == 's')
                written = PrintPiece(out, left + 1, c.text, stars, c.stars, arg.buf);
            else
                written = PrintPiece(out, left + 1, c.text, stars, c.stars, arg.value_f);
        }
        if (written < 0)
            break;
        if (static_cast<size_t>(written) >= left + 1) {
            // Cut at the end of the buffer; the message ends here.
            out += left;
            left = 0;
            break;
        }
        out += written;
        left -= static_cast<size_t>(written);
    }
    *out = '\0';
}

// Runs fn on the calling thread's record, holding the shared record's lock
// when the caller has no record of its own.
template <typename Fn>
void WithRecord(Fn &&fn)
{
    if (JEX_ErrorRecord *own = t_errors.record) {
        fn(*own);
        return;
    }
    std::lock_guard<std::mutex> guard(g_errors.global_lock);
    fn(g_errors.global_record);
}

}  // namespace

void JEX_SetThreadErrorRecord(JEX_ErrorRecord *record)
{
    t_errors.record = record;
}

extern "C" {

JEX_ErrorRecord *JEX_GetErrBuf(void)
{
    return t_errors.record ? t_errors.record : &g_errors.global_record;
}

void JEX_SetError(const char *fmt, ...)
{
    if (!fmt)
        fmt = "";
    va_list ap;
    va_start(ap, fmt);
    WithRecord([&](JEX_ErrorRecord &rec) {
        rec.error = 1;
        std::strncpy(rec.format, fmt, sizeof(rec.format) - 1);
        rec.format[sizeof(rec.format) - 1] = '\0';
        StoreArguments(rec, fmt, ap);
        FormatRecord(rec, t_errors.message, sizeof(t_errors.message));
    });
    va_end(ap);
    JEX_LogError(JEX_LOG_CATEGORY_ERROR, "%s", t_errors.message);
}

char *JEX_GetErrorMsg(char *errstr, int maxlen)
{
    if (!errstr || maxlen <= 0)
        return errstr;
    WithRecord(
        [&](JEX_ErrorRecord &rec) { FormatRecord(rec, errstr, static_cast<size_t>(maxlen)); });
    return errstr;
}

const char *JEX_GetError(void)
{
    return JEX_GetErrorMsg(t_errors.message, sizeof(t_errors.message));
}

void JEX_ClearError(void)
{
    WithRecord([](JEX_ErrorRecord &rec) { rec.error = 0; });
}

void JEX_Error(JEX_errorcode code)
{
    switch (static_cast<unsigned>(code)) {
    case JEX_ERR_NOMEM: JEX_SetError("Out of memory"); break;
    case JEX_ERR_READ: JEX_SetError("Error reading from datastream"); break;
    case JEX_ERR_WRITE: JEX_SetError("Error writing to datastream"); break;
    case JEX_ERR_SEEK: JEX_SetError("Error seeking in datastream"); break;
    case JEX_ERR_UNSUPPORTED: JEX_SetError("That operation is not supported"); break;
    default: JEX_SetError("Unknown JEX error"); break;
    }
}

}  // extern "C"
