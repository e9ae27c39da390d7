// Blocks until a state file of a directory is replaced or a time-out passes (inotify).
#pragma once

#include <cstdint>
#include <string>

namespace camsim {

class DirWatch {
  public:
    explicit DirWatch(const std::string& dir);
    ~DirWatch();
    DirWatch(const DirWatch&) = delete;
    DirWatch& operator=(const DirWatch&) = delete;

    // Waits at most ms for a file to be renamed into the directory. Without inotify
    // (watch limit reached) it sleeps in short steps instead. False only when the wait
    // ended certain that nothing was renamed into the directory.
    bool Wait(int64_t ms);

  private:
    int m_fd;
};

}  // namespace camsim
