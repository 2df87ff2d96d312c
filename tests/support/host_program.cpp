// Running the real host program from a test: through the shell on POSIX, with
// CreateProcessW on Windows.
#include "tests/support/host_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/os/os.h"
#include "tests/support/scratch.h"

#if defined(_WIN32)
#include <windows.h>

#include <map>

#include "platform/os/win32/wide_text.h"
#else
#include <sys/wait.h>
#endif

namespace mirel::testing {

#if defined(_WIN32)

namespace {

using os::win32::utf8Text;
using os::win32::wideText;

// Splits text into words as a POSIX shell does: single quotes take everything
// up to the next one, double quotes and backslashes as usual. Tests write their
// arguments for the shell; on Windows each word is passed on as it is meant.
std::vector<std::string> shellWords(const std::string& text) {
    std::vector<std::string> result;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'') {
            const std::size_t end = text.find('\'', i + 1);
            word += text.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? text.size() : end;
            inWord = true;
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::string("\"\\$`").find(text[i + 1]) != std::string::npos)
                    ++i;
                word += text[i];
            }
            inWord = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) result.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) result.push_back(word);
    return result;
}

// One argument as the C runtime splits a command line: backslashes are literal
// except before a quote, where they are doubled.
std::string commandLineWord(const std::string& text) {
    std::string result = "\"";
    std::size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        result.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, '\\');
    return result + "\"";
}

// This process's environment with the given variables set; the host program
// finds the filter's temporary folder through TMP (TMPDIR in the tests'
// environment strings stands for it), and an empty value removes a variable.
std::wstring environmentBlock(const std::string& changes) {
    std::map<std::wstring, std::wstring> variables;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1) {
            const std::wstring text(entry);
            const std::size_t equals = text.find(L'=', 1);
            if (equals != std::wstring::npos)
                variables[text.substr(0, equals)] = text.substr(equals + 1);
        }
        ::FreeEnvironmentStringsW(block);
    }
    for (const std::string& word : shellWords(changes)) {
        const std::size_t equals = word.find('=');
        if (equals == std::string::npos) continue;
        std::string name = word.substr(0, equals);
        const std::wstring value = wideText(word.substr(equals + 1));
        std::vector<std::string> names{name};
        if (name == "TMPDIR") names = {"TMP", "TEMP"};
        for (const std::string& each : names) {
            if (value.empty())
                variables.erase(wideText(each));
            else
                variables[wideText(each)] = value;
        }
    }
    std::wstring block;
    for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
    block += L'\0';
    return block;
}

}  // namespace

ProgramOutcome runProgram(const std::string& plugin, const std::string& arguments,
                          const std::string& environment, const std::string& folder) {
    ProgramOutcome outcome;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return outcome;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string line = commandLineWord(hostPath()) + " --plugin " + commandLineWord(plugin);
    for (const std::string& word : shellWords(arguments)) line += " " + commandLineWord(word);
    std::wstring commandLine = wideText(line);
    std::wstring block = environmentBlock(environment);
    const std::wstring workingFolder = wideText(folder);
    PROCESS_INFORMATION process{};
    const bool started = ::CreateProcessW(
        nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
        block.data(), workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process);
    ::CloseHandle(writeEnd);
    ::CloseHandle(nothing);
    if (started) {
        std::array<char, 4096> buffer{};
        DWORD got = 0;
        while (::ReadFile(readEnd, buffer.data(), DWORD(buffer.size()), &got, nullptr) && got > 0)
            outcome.output.append(buffer.data(), got);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (::GetExitCodeProcess(process.hProcess, &code)) outcome.exitCode = int(code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(readEnd);
    // The program writes lines; the C runtime of a console may end them with CR LF.
    outcome.output.erase(std::remove(outcome.output.begin(), outcome.output.end(), '\r'),
                         outcome.output.end());
    return outcome;
}

#else

ProgramOutcome runProgram(const std::string& plugin, const std::string& arguments,
                          const std::string& environment, const std::string& folder) {
    const std::string command = (folder.empty() ? "" : "cd " + quoted(folder) + " && ") +
                                environment + quoted(hostPath()) + " --plugin " + quoted(plugin) +
                                " " + arguments + " 2>&1 </dev/null";
    ProgramOutcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return outcome;
    std::array<char, 512> buffer{};
    while (fgets(buffer.data(), int(buffer.size()), pipe)) outcome.output += buffer.data();
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

#endif

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(os::pathOf(path), error);
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(os::pathOf(folder), error), end;
         !error && entry != end; entry.increment(error))
        names.push_back(entry->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(os::pathOf(path), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream file(os::pathOf(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace mirel::testing
