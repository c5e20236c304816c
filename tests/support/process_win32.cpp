#include "platform/text.h"
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

}  // namespace

std::string RunBinaryRaw(const std::vector<std::string>& args, int* status) {
  *status = -1;
  const std::wstring program = ConvertToWindowsText(DecodeCommandWord(KEYSCOUT_BINARY));
  std::wstring command_line = QuoteWord(program);
  for (const std::string& a : args) command_line += L" " + QuoteWord(ConvertToWindowsText(DecodeCommandWord(a)));

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return "";
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
  // Our copy of the write end must go, or the read below never sees the end.
  ::CloseHandle(write_end);
  std::string out;
  if (started) {
    char buf[4096];
    DWORD n = 0;
    while (::ReadFile(read_end, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) *status = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(read_end);
  return out;
}

std::string RunBinary(const std::vector<std::string>& args, int* status) {
  const std::string raw = RunBinaryRaw(args, status);
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    out.push_back(raw[i]);
  }
  return out;
}

}  // namespace keyscout::test
