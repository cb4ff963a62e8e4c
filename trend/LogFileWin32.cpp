#include <windows.h>

#include <vector>

#include "LogFile.h"

namespace {
std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> text(static_cast<size_t>(n > 0 ? n : 1));
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), n);
  return text.data();
}

std::string ErrorText(DWORD code) {
  return "system error " + std::to_string(code);
}
}  // namespace

bool LogFile::Create(const std::string& path, std::string& error) {
  Close();
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = path + ": " + ErrorText(GetLastError());
    return false;
  }
  handle_ = file;
  return true;
}

bool LogFile::Append(const std::string& text, std::string& error) {
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), text.data() + done, static_cast<DWORD>(text.size() - done),
                   &written, nullptr) ||
        written == 0) {
      error = ErrorText(GetLastError());
      return false;
    }
    done += written;
  }
  if (!FlushFileBuffers(static_cast<HANDLE>(handle_))) {
    error = ErrorText(GetLastError());
    return false;
  }
  return true;
}

void LogFile::Close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool LogFile::IsOpen() const { return handle_ != nullptr; }

bool LogPathExists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
