// The error record: a failing call stores its format and up to five
// arguments, and the text is only formatted when somebody reads it.

#include "JEX_error.h"
#include "JEX_log.h"
#include "error_internal.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Shared by the main thread and every thread the library did not create.
JEX_ErrorRecord g_global_record;
std::mutex g_global_lock;

// Set by the start routine of library threads to the record inside their
// thread record; null everywhere else.
thread_local JEX_ErrorRecord *t_record = nullptr;

// Each thread formats into its own buffer, so another thread's error never
// garbles the text a caller is reading.
thread_local char t_message[JEX_ERRBUFSIZE];

constexpr int kMaxConversionDigits = 29;

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

void StoreArguments(JEX_ErrorRecord &rec, const char *fmt, va_list &ap)
{
    rec.arg_count = 0;
    for (const char *p = fmt; *p && rec.arg_count < JEX_ERROR_MAXARGS;) {
        if (*p++ != '%')
            continue;
        while ((*p >= '0' && *p <= '9') || *p == '.')
            ++p;
        const Length length = SkipLength(p);
        const char conv = *p;
        if (conv == '\0')
            break;
        ++p;
        JEX_ErrorArg &arg = rec.args[rec.arg_count];
        if (IsSignedConversion(conv)) {
            arg.value_l = TakeSigned(length, ap);
        } else if (IsUnsignedConversion(conv)) {
            arg.value_l = TakeUnsigned(length, ap);
        } else if (conv == 'p') {
            arg.value_ptr = va_arg(ap, void *);
        } else if (IsFloatConversion(conv)) {
            arg.value_f = length == Length::LongDouble
                              ? static_cast<double>(va_arg(ap, long double))
                              : va_arg(ap, double);
        } else if (conv == 's') {
            const char *s = va_arg(ap, const char *);
            if (!s)
                s = "(null)";
            std::strncpy(arg.buf, s, sizeof(arg.buf) - 1);
            arg.buf[sizeof(arg.buf) - 1] = '\0';
        } else {
            continue;  // "%%", flags and unknown conversions take nothing
        }
        ++rec.arg_count;
    }
}

// Formats a record into buf (size >= 1). Arguments are printed with the
// width and precision written in the format; integers always go through a
// 64-bit conversion, because that is how they are stored.
void FormatRecord(const JEX_ErrorRecord &rec, char *buf, size_t size)
{
    buf[0] = '\0';
    if (!rec.error)
        return;
    char *out = buf;
    size_t left = size - 1;
    int next_arg = 0;
    const char *p = rec.format;
    const char *const end = rec.format + sizeof(rec.format);

    while (p < end && *p && left > 0) {
        if (*p != '%') {
            *out++ = *p++;
            --left;
            continue;
        }
        ++p;
        char conv_spec[40];
        size_t n = 0;
        conv_spec[n++] = '%';
        int digits = 0;
        while (p < end && ((*p >= '0' && *p <= '9') || *p == '.')) {
            if (digits++ < kMaxConversionDigits)
                conv_spec[n++] = *p;
            ++p;
        }
        if (p >= end)
            break;
        SkipLength(p);
        if (p >= end || *p == '\0')
            break;
        const char conv = *p++;

        if (conv == '%') {
            *out++ = '%';
            --left;
            continue;
        }
        const bool integer = IsSignedConversion(conv) || IsUnsignedConversion(conv);
        const bool known = integer || conv == 'p' || conv == 's' || IsFloatConversion(conv);
        if (!known || next_arg >= rec.arg_count)
            continue;  // nothing stored for it: print nothing, read nothing
        const JEX_ErrorArg &arg = rec.args[next_arg++];

        int written;
        if (conv == 'c') {
            conv_spec[n++] = 'c';
            conv_spec[n] = '\0';
            written = std::snprintf(out, left + 1, conv_spec, static_cast<int>(arg.value_l));
        } else if (integer) {
            conv_spec[n++] = 'l';
            conv_spec[n++] = 'l';
            conv_spec[n++] = conv;
            conv_spec[n] = '\0';
            written = std::snprintf(out, left + 1, conv_spec, static_cast<long long>(arg.value_l));
        } else {
            conv_spec[n++] = conv;
            conv_spec[n] = '\0';
            if (conv == 'p')
                written = std::snprintf(out, left + 1, conv_spec, arg.value_ptr);
            else if (conv == 's')
                written = std::snprintf(out, left + 1, conv_spec, arg.buf);
            else
                written = std::snprintf(out, left + 1, conv_spec, arg.value_f);
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
    if (JEX_ErrorRecord *own = t_record) {
        fn(*own);
        return;
    }
    std::lock_guard<std::mutex> guard(g_global_lock);
    fn(g_global_record);
}

}  // namespace

void JEX_SetThreadErrorRecord(JEX_ErrorRecord *record)
{
    t_record = record;
}

extern "C" {

JEX_ErrorRecord *JEX_GetErrBuf(void)
{
    return t_record ? t_record : &g_global_record;
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
        FormatRecord(rec, t_message, sizeof(t_message));
    });
    va_end(ap);
    JEX_LogError(JEX_LOG_CATEGORY_ERROR, "%s", t_message);
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
    return JEX_GetErrorMsg(t_message, sizeof(t_message));
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
