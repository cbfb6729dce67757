#pragma once

#include <csignal>
#include <sys/resource.h>

// Makes every write of this process beyond `bytes` into any file fail with
// EFBIG, the way a full disk fails a write, without root or a small file
// system. SIGXFSZ is ignored meanwhile, so the write returns the error
// instead of ending the process. Undone when it goes out of scope.
class FileSizeLimit
{
  public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_ok = ::getrlimit(RLIMIT_FSIZE, &m_before) == 0;
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_before;
        limit.rlim_cur = bytes;
        m_ok = m_ok && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool ok() const { return m_ok; }

  private:
    rlimit m_before{};
    void (*m_handler)(int) = nullptr;
    bool m_ok = false;
};
