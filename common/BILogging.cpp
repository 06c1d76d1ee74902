// BILogging: the process-wide diagnostic log (see BILogging.h).
//
// State changes (set-up from the registry, end) and every write happen under one lock that is
// created once per process and never deleted, so an end call while other threads log is safe.
// The fast path outside the lock is one read of the flag word, which holds the switch's state and
// whether an error sink is installed.
#include "common/BILogging.h"

#include "common/CRegistry.h"
#include "platform/win32.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace {

// Registry switch of the log.
constexpr WCHAR kSwitchKey[] = u"SOFTWARE\\KELDA\\VANTO";
constexpr WCHAR kSwitchValue[] = u"VANTO_LOG";
// The log file; the placeholder is the process ID. Its folder is never created here.
constexpr char kPathFormat[] = "C:\\VANTOLOG\\VANTO(pid%d).log";

constexpr uint32_t kMsPerMinute = 60000;
constexpr uint32_t kMsPerSecond = 1000;
constexpr uint32_t kSecondsPerMinute = 60;

// Bits of the flag word. The log does nothing only when the word is exactly kSwitchRead: the
// switch was read as zero and no sink is installed.
constexpr unsigned kSwitchRead = 0x1;  // the switch has been read
constexpr unsigned kFileOn = 0x2;      // ... and was non-zero
constexpr unsigned kSinkOn = 0x4;      // an error sink is installed

// The first character of an error line.
constexpr char kErrorMark = '#';

struct LogState {
    std::atomic<unsigned> flags{0};
    WCHAR path[MAX_PATH] = {};
    std::atomic<BILogging::TickSource> tick{nullptr};
    BILogging::ErrorSink sink = nullptr;  // read and changed under the lock
};

LogState g_state;

// The one lock of the facility: created on first use, never deleted while the library is loaded.
CRITICAL_SECTION* Lock() {
    static CRITICAL_SECTION section;
    static std::once_flag once;
    std::call_once(once, [] { InitializeCriticalSection(&section); });
    return &section;
}

class LockGuard {
public:
    LockGuard() : m_pSection(Lock()) { EnterCriticalSection(m_pSection); }
    ~LockGuard() { LeaveCriticalSection(m_pSection); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CRITICAL_SECTION* m_pSection;
};

// Reads the switch from the registry unless it has been read; a failure leaves the facility
// uninitialised so that the next log call tries again. Runs under the lock.
void SetUpLocked() {
    if (g_state.flags.load(std::memory_order_acquire) & kSwitchRead) return;

    DWORD value = 0;
    {
        CRegistry key;
        if (key.Open(HKEY_LOCAL_MACHINE, kSwitchKey, KEY_READ) != ERROR_SUCCESS) return;
        DWORD size = sizeof(value);
        DWORD type = 0;
        if (key.QueryValue(kSwitchValue, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) return;
    }

    char narrow[MAX_PATH];
    int length = std::snprintf(narrow, sizeof(narrow), kPathFormat, static_cast<int>(GetCurrentProcessId()));
    if (length <= 0 || length >= MAX_PATH) return;
    for (int i = 0; i <= length; ++i) g_state.path[i] = static_cast<WCHAR>(narrow[i]);

    g_state.flags.fetch_or(value != 0 ? kSwitchRead | kFileOn : kSwitchRead, std::memory_order_acq_rel);
}

uint32_t Ticks() {
    BILogging::TickSource source = g_state.tick.load(std::memory_order_acquire);
    return source ? source() : GetTickCount();
}

// "%2ld:%02ld.%03ld ": whole minutes (not wrapped at 60), seconds, milliseconds.
std::string TimeStamp() {
    uint32_t t = Ticks();
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%2ld:%02ld.%03ld ", static_cast<long>(t / kMsPerMinute),
                  static_cast<long>((t / kMsPerSecond) % kSecondsPerMinute), static_cast<long>(t % kMsPerSecond));
    return stamp;
}

// Length of the well-formed UTF-8 sequence at text[i] (1 to 4), or 0 when the byte there does
// not begin one.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    }
    unsigned char second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F)) {
        return 0;  // overlong forms, surrogates, beyond U+10FFFF
    }
    return length;
}

// Appends a well-formed UTF-8 run in the ANSI code page (characters it lacks become the code
// page's default character); the run as it is when the conversion fails.
void AppendAnsi(std::string_view utf8, std::string& out) {
    if (utf8.empty()) return;
    // ASCII is the same in every ANSI code page: most lines need no conversion at all.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        out += utf8;
        return;
    }
    int length = static_cast<int>(utf8.size());
    int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (wide > 0) {
        std::u16string text(static_cast<size_t>(wide), u'\0');
        if (MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, text.data(), wide) == wide) {
            int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
            if (bytes > 0) {
                std::string ansi(static_cast<size_t>(bytes), '\0');
                if (WideCharToMultiByte(CP_ACP, 0, text.data(), wide, ansi.data(), bytes, nullptr, nullptr) == bytes) {
                    out += ansi;
                    return;
                }
            }
        }
    }
    out += utf8;
}

// Converts a finished line to the ANSI code page. Formats and wide text arrive as UTF-8; bytes
// that are not UTF-8 came from outside as 8-bit text already (printer replies) and are kept.
std::string ToAnsi(const std::string& line) {
    if (line.size() > static_cast<size_t>(INT32_MAX / 4)) return std::string();
    std::string out;
    out.reserve(line.size());
    size_t run = 0;  // start of the current well-formed run
    size_t i = 0;
    while (i < line.size()) {
        size_t length = Utf8SequenceLength(line, i);
        if (length > 0) {
            i += length;
            continue;
        }
        AppendAnsi(std::string_view(line).substr(run, i - run), out);
        out.push_back(line[i]);
        run = ++i;
    }
    AppendAnsi(std::string_view(line).substr(run), out);
    return out;
}

// Text mode: every line feed is written as CR LF.
std::string ToTextMode(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

// Appends one whole line to the log file; the file is opened and closed for every line so that
// the log survives a crash of the host up to the last line. Runs under the lock.
void AppendLocked(const std::string& line) {
    HANDLE file = CreateFileW(g_state.path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) return;
    std::string bytes = ToTextMode(ToAnsi(line));
    size_t offset = 0;
    while (offset < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + offset, chunk, &written, nullptr) || written == 0) break;
        offset += written;
    }
    CloseHandle(file);
}

bool WritableLocked() {
    SetUpLocked();
    constexpr unsigned kWritable = kSwitchRead | kFileOn;
    return (g_state.flags.load(std::memory_order_acquire) & kWritable) == kWritable;
}

}  // namespace

bool BILogging::Active() noexcept {
    return g_state.flags.load(std::memory_order_acquire) != kSwitchRead;
}

void BILogging::Write(const char* format, ...) noexcept {
    if (format == nullptr) return;
    try {
        LockGuard guard;
        const bool bToFile = WritableLocked();
        const ErrorSink sink = g_state.sink;
        if (!bToFile && sink == nullptr) return;

        va_list args;
        va_start(args, format);
        va_list copy;
        va_copy(copy, args);
        int needed = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        std::string message;
        if (needed > 0) {
            message.resize(static_cast<size_t>(needed) + 1);
            std::vsnprintf(message.data(), message.size(), format, args);
            message.resize(static_cast<size_t>(needed));
        }
        va_end(args);
        if (bToFile) AppendLocked(TimeStamp() + message);
        if (sink != nullptr && !message.empty() && message[0] == kErrorMark) sink(message);
    } catch (...) {
        // Logging never changes the result of the operation that logs.
    }
}

void BILogging::Dump(const void* bytes, size_t count) noexcept {
    if (bytes == nullptr) return;
    try {
        LockGuard guard;
        if (!WritableLocked()) return;

        static constexpr char kHex[] = "0123456789abcdef";
        const auto* p = static_cast<const unsigned char*>(bytes);
        std::string line = TimeStamp();
        line.reserve(line.size() + count * 2 + 1);
        for (size_t i = 0; i < count; ++i) {
            line.push_back(kHex[p[i] >> 4]);
            line.push_back(kHex[p[i] & 0xF]);
        }
        line.push_back('\n');
        AppendLocked(line);
    } catch (...) {
    }
}

void BILogging::End() noexcept {
    LockGuard guard;
    g_state.flags.fetch_and(~(kSwitchRead | kFileOn), std::memory_order_acq_rel);
}

void BILogging::SetErrorSink(ErrorSink sink) noexcept {
    LockGuard guard;
    g_state.sink = sink;
    if (sink != nullptr) {
        g_state.flags.fetch_or(kSinkOn, std::memory_order_acq_rel);
    } else {
        g_state.flags.fetch_and(~kSinkOn, std::memory_order_acq_rel);
    }
}

void BILogging::SetTickSource(TickSource source) noexcept {
    g_state.tick.store(source, std::memory_order_release);
}

std::string BILogging::Narrow(const char16_t* text) {
    if (text == nullptr) return "(null)";
    std::string out;
    for (const char16_t* p = text; *p != 0; ++p) {
        uint32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(p[1]) - 0xDC00);
            ++p;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}
