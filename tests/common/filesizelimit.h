#pragma once
// While it lives, a write that would grow any file of this process past a size fails (EFBIG), as on
// a full disk: the write that crosses it is cut short, the next one fails. The process must ignore
// SIGXFSZ itself (the recorder does), else the crossing write ends it.
#include <sys/resource.h>

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool isSet() const { return m_ok; }

private:
    rlimit m_saved{};
    bool m_ok = false;
};
