// Run-time errors: the one failure path of the program. Every failing runtime
// operation raises one; only the event dispatch (Forms.cpp) catches it,
// reports it and ends the program.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace runtime {

// The classic error numbers, so a user's report means what it always meant.
enum class ErrorNumber : int {
    InvalidProcedureCall = 5,
    Overflow = 6,
    UserInterrupt = 18,
    InternalError = 51,
    BadFileNameOrNumber = 52,
    FileNotFound = 53,
    FileAlreadyOpen = 55,
    DeviceIOError = 57,
    DiskFull = 61,
    BadRecordNumber = 63,
    TooManyFiles = 67,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    PathNotFound = 76,
};

const char* Description(ErrorNumber number);

class RuntimeError : public std::exception {
public:
    // `path` is the Windows path involved, `detail` anything the user needs
    // beyond number, description and path (may be empty).
    RuntimeError(ErrorNumber number, std::string path, std::string detail = {});

    ErrorNumber Number() const { return number_; }
    const std::string& Path() const { return path_; }
    const std::string& Detail() const { return detail_; }

    // Adds a later finding, such as a failed clean-up, to the report.
    void AddNote(const std::string& note);
    // Names a path that begins with `from` by what it becomes: a file built
    // under a temporary name is reported under the name the user chose.
    void ReportUnder(std::string_view from, std::string_view to);

    const char* what() const noexcept override { return summary_.c_str(); }

    // "Run-time error 'N':", an empty line, then description, path and detail;
    // lines joined with CR LF as message boxes expect.
    std::string Report() const;

private:
    ErrorNumber number_;
    std::string path_;
    std::string detail_;
    std::string summary_;
};

[[noreturn]] void Raise(ErrorNumber number, std::string path, std::string detail = {});

}  // namespace runtime
