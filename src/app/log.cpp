#include "app/log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace {

namespace qp = qx::platform;

constexpr size_t kLineBuffer = 4096;
// Every run gets a new file; the numbering is bounded so a folder we cannot write to ends the
// search instead of spinning.
constexpr int kMaxLogNumber = 100000;

std::atomic<CLog*> g_process_log{nullptr};

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

// "[HH.MM.SS]  text" cut to the 4096-byte line buffer, then CR LF.
std::string TimedLine(const qp::SYSTEMTIME& now, const char* text) {
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "[%02d.%02d.%02d]  ", now.wHour, now.wMinute, now.wSecond);
    std::string line = std::string(stamp) + text;
    if (line.size() > kLineBuffer - 1) {
        line.resize(kLineBuffer - 1);
    }
    return line + "\r\n";
}

std::string ProgramFileName() {
    std::string module = qp::GetModuleFileNameA();
    size_t slash = module.rfind('\\');
    return slash == std::string::npos ? module : module.substr(slash + 1);
}

}  // namespace

CLog::CLog(const std::string& title) {
    std::string name = ProgramFileName();
    if (name.empty()) {
        return;
    }
    std::string folder = qp::GetTempPathA();
    for (int number = -1; number < kMaxLogNumber; ++number) {
        std::string path =
            number < 0 ? folder + name + ".log" : folder + name + std::to_string(number) + ".log";
        m_file = qp::CreateFileA(path, qp::kGenericRead | qp::kGenericWrite, qp::kFileShareRead,
                                 qp::kCreateNew);
        if (m_file) {
            m_path = path;
            break;
        }
        qp::DWORD error = qp::GetLastError();
        if (error != qp::kErrorAlreadyExists && error != qp::kErrorFileExists) {
            return;
        }
    }
    if (m_file) {
        WriteHeader(title);
    }
}

CLog::~CLog() {
    CLog* self = this;
    g_process_log.compare_exchange_strong(self, nullptr);
}

void CLog::WriteHeader(const std::string& title) {
    const std::string border(60, '/');
    const std::string blank = "//" + std::string(56, ' ') + "//";
    char title_line[kLineBuffer];
    std::snprintf(title_line, sizeof(title_line), "// %-55s//", title.c_str());
    qp::SYSTEMTIME now = qp::GetLocalTime();
    char date_line[128];
    std::snprintf(date_line, sizeof(date_line), "Data : %s, %s %02d, %04d",
                  kDayNames[now.wDayOfWeek % 7], kMonthNames[(now.wMonth + 11) % 12], now.wDay,
                  now.wYear);
    std::string header = border + "\r\n" + blank + "\r\n" + title_line + "\r\n" + blank + "\r\n" +
                         border + "\r\n\r\n" + date_line + "\r\n\r\n\r\n";
    m_file.WriteAll(header);
}

int CLog::Write(const char* format, ...) {
    if (!m_file) {
        return 0;
    }
    char text[kLineBuffer];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return WriteLine(text, 0, false);
}

int CLog::WriteWithError(qp::DWORD error, const char* format, ...) {
    if (!m_file) {
        return 0;
    }
    char text[kLineBuffer];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return WriteLine(text, error, true);
}

int CLog::WriteLine(const char* text, qp::DWORD error, bool with_error) {
    if (m_busy.test_and_set(std::memory_order_acquire)) {
        return 0;  // another thread is writing: this line is dropped, never interleaved
    }
    qp::SYSTEMTIME now = qp::GetLocalTime();
    std::string out = TimedLine(now, text);
    if (with_error && error != 0) {
        char error_text[kLineBuffer];
        std::snprintf(error_text, sizeof(error_text), "Error Code = %d :%s ",
                      static_cast<int>(error), qp::FormatSystemMessage(error).c_str());
        out += TimedLine(now, error_text);
    }
    m_file.SeekToEnd();
    m_file.WriteAll(out);
    m_busy.clear(std::memory_order_release);
    return static_cast<int>(out.size());
}

CLog* GetLog() {
    CLog* log = g_process_log.load(std::memory_order_acquire);
    if (log != nullptr) {
        return log;
    }
    static CLog silent;
    return &silent;
}

void SetProcessLog(CLog* log) {
    g_process_log.store(log, std::memory_order_release);
}
