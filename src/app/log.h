// The diagnostic log: one file per run in the user's temporary folder, written line by line
// without buffering so that it survives a crash. Reached from anywhere through GetLog.
#pragma once

#include <atomic>
#include <string>

#include "platform/files.h"
#include "platform/win_types.h"

class CLog {
  public:
    // Creates the next free "<program>.log" / "<program>N.log" and writes the header with the
    // given product title. Logging stays off when no file can be created.
    explicit CLog(const std::string& title);
    virtual ~CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    int Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int WriteWithError(qx::platform::DWORD error, const char* format, ...)
        __attribute__((format(printf, 3, 4)));

    bool IsOpen() const { return m_file.IsValid(); }
    // Windows path of the log file; empty when logging is off.
    const std::string& FilePath() const { return m_path; }

  private:
    CLog() = default;  // the disabled log GetLog hands out when no application exists
    friend CLog* GetLog();

    int WriteLine(const char* text, qx::platform::DWORD error, bool with_error);
    void WriteHeader(const std::string& title);

    qx::platform::File m_file;
    std::atomic_flag m_busy = ATOMIC_FLAG_INIT;
    std::string m_path;
};

// The process's log: the application's once it exists, otherwise one that writes nothing.
CLog* GetLog();
// Makes log the one GetLog returns (null restores the silent one).
void SetProcessLog(CLog* log);
