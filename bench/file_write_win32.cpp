// The bench's file writing on Windows: a temporary file beside the target,
// written, flushed and moved over it (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH), paths as wide
// strings; the temporary file removed when Ctrl-C or a closed console cuts
// a write short.
#include "bench/file_write.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <atomic>
#include <cwchar>
#include <system_error>

#include "bench/file_write_platform.h"

namespace bench {
namespace {

// The temporary file being written, for the console's handler. One write
// at a time (the bench writes from one thread).
struct Pending {
  std::atomic<bool> set{false};
  std::array<wchar_t, 32768> path{};
};
Pending pending;

BOOL WINAPI RemovePending(DWORD) {
  if (pending.set.load()) DeleteFileW(pending.path.data());
  return FALSE;  // then what the event would have done
}

void TakeConsoleEvents() {
  static bool taken = false;
  if (taken) return;
  taken = true;
  SetConsoleCtrlHandler(RemovePending, TRUE);
}

// The system's words for an error code, on one line.
std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length != 0 && text != nullptr ? std::string(text, length)
                                                       : "system error " + std::to_string(code);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

// A handle closed on every way out.
struct Handle {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~Handle() { Close(); }
  bool Close() {
    if (handle == INVALID_HANDLE_VALUE) return true;
    const bool closed = CloseHandle(handle) != 0;
    handle = INVALID_HANDLE_VALUE;
    return closed;
  }
};

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

namespace file_write {

bool ReplaceInFolder(const std::filesystem::path& folder, const std::string& name,
                     const std::string& shown, std::string_view bytes, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = "cannot write " + shown + ": " + why;
    return false;
  };
  const std::filesystem::path target = folder / std::filesystem::path(name);
  const DWORD was = GetFileAttributesW(target.c_str());
  bool keep_attributes = false;
  if (was != INVALID_FILE_ATTRIBUTES) {
    if ((was & FILE_ATTRIBUTE_DIRECTORY) != 0 && (was & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      return fail("it is a folder");
    }
    keep_attributes = (was & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    const DWORD cause = GetLastError();
    if (cause == ERROR_PATH_NOT_FOUND) {
      return fail("cannot make a file in the folder " + folder.string() + ": " +
                  SystemMessage(cause));
    }
    return fail(SystemMessage(cause));
  }

  TakeConsoleEvents();
  std::filesystem::path temporary;
  Handle out;
  DWORD cause = ERROR_SUCCESS;
  for (unsigned attempt = 0; attempt < 100 && out.handle == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = folder / TemporaryName(static_cast<unsigned>(GetCurrentProcessId()), attempt);
    out.handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    cause = GetLastError();
    if (out.handle == INVALID_HANDLE_VALUE && cause != ERROR_FILE_EXISTS) break;
  }
  if (out.handle == INVALID_HANDLE_VALUE) {
    return fail("cannot make a file in the folder " + folder.string() + ": " +
                SystemMessage(cause));
  }
  const std::wstring& wide = temporary.native();
  if (wide.size() < pending.path.size()) {
    std::wmemcpy(pending.path.data(), wide.c_str(), wide.size() + 1);
    pending.set.store(true);
  }
  const std::string left = " (" + shown + " is left as it was)";
  auto abandon = [&](DWORD code) {
    out.Close();
    DeleteFileW(temporary.c_str());
    pending.set.store(false);
    return fail(SystemMessage(code) + left);
  };
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (DWORD{1} << 30) ? (DWORD{1} << 30)
                                                         : static_cast<DWORD>(bytes.size());
    DWORD wrote = 0;
    if (!WriteFile(out.handle, bytes.data(), chunk, &wrote, nullptr)) return abandon(GetLastError());
    if (wrote == 0) return abandon(ERROR_WRITE_FAULT);
    bytes.remove_prefix(wrote);
  }
  // A full disk may show only when the data is flushed.
  if (!FlushFileBuffers(out.handle)) return abandon(GetLastError());
  if (!out.Close()) return abandon(GetLastError());
  if (keep_attributes && !SetFileAttributesW(temporary.c_str(), was & kKeptAttributes)) {
    return abandon(GetLastError());
  }
  // A read-only file is replaced as on other systems, and the new one is
  // read-only in turn: the move needs the old one writable.
  const bool read_only = keep_attributes && (was & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only && !SetFileAttributesW(target.c_str(), was & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
    return abandon(GetLastError());
  }
  if (!MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD moved = GetLastError();
    if (read_only) SetFileAttributesW(target.c_str(), was);
    return abandon(moved);
  }
  pending.set.store(false);
  return true;
}

}  // namespace file_write

struct OutputFolder::Folder {};

OutputFolder::OutputFolder() = default;
OutputFolder::~OutputFolder() = default;

bool OutputFolder::Open(const std::filesystem::path& folder, std::string* error) {
  folder_.reset();
  path_ = folder;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const std::string why = ec                                          ? ec.message()
                            : attributes == INVALID_FILE_ATTRIBUTES ? SystemMessage(GetLastError())
                                                                    : "it is a file, not a folder";
    *error = "cannot open the output folder " + folder.string() + ": " + why;
    return false;
  }
  folder_ = std::make_unique<Folder>();
  return true;
}

bool OutputFolder::WriteBelow(const std::filesystem::path& name, const std::string& shown,
                              std::string_view bytes, std::string* error) {
  std::filesystem::path folder = path_;
  for (const std::filesystem::path& part : name.parent_path()) {
    folder /= part;
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = "cannot write " + shown + ": cannot make the folder " + part.string() + ": " +
                 SystemMessage(GetLastError());
        return false;
      }
      attributes = GetFileAttributesW(folder.c_str());
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return file_write::LeadsOut(shown, path_, error, "a symbolic link or junction");
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      *error = "cannot write " + shown + ": " + part.string() + " is a file, not a folder";
      return false;
    }
  }
  // A link at the name itself is replaced by the move, never followed.
  return file_write::ReplaceInFolder(folder, name.filename().string(), shown, bytes, error);
}

}  // namespace bench
