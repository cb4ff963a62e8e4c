#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "LogFile.h"

bool LogFile::Create(const std::string& path, std::string& error) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool LogFile::Append(const std::string& text, std::string& error) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = std::strerror(errno);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (::fdatasync(fd_) != 0 && errno != EINVAL) {  // EINVAL: a file that cannot be synced (a pipe, /dev/null)
    error = std::strerror(errno);
    return false;
  }
  return true;
}

void LogFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LogFile::IsOpen() const { return fd_ >= 0; }

bool LogPathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}
