// BILogging: the process-wide diagnostic log.
//
// Off unless HKLM "SOFTWARE\KELDA\VANTO" value "VANTO_LOG" is non-zero; then every line goes to
// "C:\VANTOLOG\VANTO(pid<n>).log" (only if that folder exists), stamped with the tick count.
// Formats are narrow printf formats checked by the compiler; text that came from outside (queue,
// model or device names) is passed as an argument ("%s"), never as the format. Wide text is
// passed through BILogging::Narrow.
//
// A program that runs the library's code in its own process may also install an error sink: it
// receives every error line (a message beginning with "#") as it is written, whether or not the
// file is on, so the program can say why a question failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class BILogging {
public:
    // True when a line would be written to the file or to the error sink, or the switch has not
    // been read yet: the one flag test that the BI_LOG macros make before doing any work.
    static bool Active() noexcept;

    static void Write(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));
    // Time stamp, then every byte as two lower-case hex digits, then a line end.
    static void Dump(const void* bytes, size_t count) noexcept;
    // Called by the Release export: the next log call reads the switch again.
    static void End() noexcept;

    // UTF-16 text as UTF-8 for a "%s" argument; "(null)" for a null pointer.
    static std::string Narrow(const char16_t* text);

    // The millisecond clock of the time stamps (GetTickCount unless replaced). Tests replace it
    // to see stamps of a long uptime; null restores the system clock.
    using TickSource = uint32_t (*)();
    static void SetTickSource(TickSource source) noexcept;

    // Receives one error line: the formatted message, "#" first, with its own line end; no time
    // stamp, no code-page conversion (the text is UTF-8 and bytes that came from a printer).
    // It runs on the logging thread under the log's lock, so it must neither block nor log.
    using ErrorSink = void (*)(std::string_view line);
    // Installs the process's one error sink (in: sink, null removes it). The file log is
    // unaffected by it.
    static void SetErrorSink(ErrorSink sink) noexcept;
};

#define BI_LOG(...)                                      \
    do {                                                 \
        if (BILogging::Active()) BILogging::Write(__VA_ARGS__); \
    } while (0)

#define BI_DUMP(bytes, count)                            \
    do {                                                 \
        if (BILogging::Active()) BILogging::Dump((bytes), (count)); \
    } while (0)
