#include <thread>

#include "text/utf8.h"
#include "platform/windows_api.h"
#include "support/process.h"

namespace keyscout::test {

namespace {

// One word quoted so that the C runtime's command-line parser gives it back
// unchanged: backslashes count only before a double quote.
std::wstring QuoteWord(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const wchar_t unit : word) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    if (unit == L'"') backslashes = backslashes * 2 + 1;
    out.append(backslashes, L'\\');
    backslashes = 0;
    out.push_back(unit);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

void ReadAll(HANDLE from, std::string* into) {
  char buf[4096];
  DWORD n = 0;
  while (::ReadFile(from, buf, sizeof buf, &n, nullptr) && n > 0) into->append(buf, n);
}

}  // namespace

ProcessResult SpawnBinary(const std::vector<std::string>& args, StdoutTarget target, const std::string& stdout_file) {
  ProcessResult result;
  const std::wstring program = ConvertToWindowsText(DecodeCommandWord(KEYSCOUT_BINARY));
  std::wstring command_line = QuoteWord(program);
  for (const std::string& a : args) command_line += L" " + QuoteWord(ConvertToWindowsText(DecodeCommandWord(a)));

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out_read = nullptr;
  HANDLE out_write = nullptr;
  HANDLE err_read = nullptr;
  HANDLE err_write = nullptr;
  if (!::CreatePipe(&out_read, &out_write, &inherit, 0)) return result;
  if (!::CreatePipe(&err_read, &err_write, &inherit, 0)) {
    ::CloseHandle(out_read);
    ::CloseHandle(out_write);
    return result;
  }
  ::SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  HANDLE child_out = out_write;
  HANDLE appended = INVALID_HANDLE_VALUE;
  if (target == StdoutTarget::kAppend) {
    const std::wstring name = ConvertToWindowsText(DecodeCommandWord(stdout_file));
    appended = ::CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    child_out = appended;
  }
  if (target != StdoutTarget::kPipe) {
    ::CloseHandle(out_read);
    out_read = nullptr;
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = child_out;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
  // Our copies of the write ends must go, or the reads below never see the end.
  ::CloseHandle(out_write);
  ::CloseHandle(err_write);
  if (appended != INVALID_HANDLE_VALUE) ::CloseHandle(appended);
  if (started) {
    std::thread errors(ReadAll, err_read, &result.err);
    if (out_read != nullptr) ReadAll(out_read, &result.out);
    errors.join();
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) result.status = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  if (out_read != nullptr) ::CloseHandle(out_read);
  ::CloseHandle(err_read);
  return result;
}

std::vector<uint8_t> ReadFileQuietly(const std::string& path, bool* present) {
  std::vector<uint8_t> bytes;
  *present = false;
  const std::wstring name = ConvertToWindowsText(DecodeCommandWord(path));
  HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  if (::GetFileType(file) == FILE_TYPE_DISK) {
    *present = true;
    char buf[1 << 16];
    DWORD n = 0;
    while (::ReadFile(file, buf, sizeof buf, &n, nullptr) && n > 0) bytes.insert(bytes.end(), buf, buf + n);
  }
  ::CloseHandle(file);
  return bytes;
}

std::string WithoutCarriageReturns(std::string text) {
  for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
  return text;
}

std::string RunBinary(const std::vector<std::string>& args, int* status) {
  return WithoutCarriageReturns(RunBinaryRaw(args, status));
}

}  // namespace keyscout::test
