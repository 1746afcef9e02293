#include "RuntimeError.h"

namespace runtime {

const char* Description(ErrorNumber number) {
    switch (number) {
    case ErrorNumber::InvalidProcedureCall: return "Invalid procedure call or argument";
    case ErrorNumber::Overflow: return "Overflow";
    case ErrorNumber::UserInterrupt: return "User interrupt occurred";
    case ErrorNumber::InternalError: return "Internal error";
    case ErrorNumber::BadFileNameOrNumber: return "Bad file name or number";
    case ErrorNumber::FileNotFound: return "File not found";
    case ErrorNumber::FileAlreadyOpen: return "File already open";
    case ErrorNumber::DeviceIOError: return "Device I/O error";
    case ErrorNumber::DiskFull: return "Disk full";
    case ErrorNumber::BadRecordNumber: return "Bad record number";
    case ErrorNumber::TooManyFiles: return "Too many files";
    case ErrorNumber::PermissionDenied: return "Permission denied";
    case ErrorNumber::PathFileAccessError: return "Path/File access error";
    case ErrorNumber::PathNotFound: return "Path not found";
    }
    return "Application-defined or object-defined error";
}

namespace {
std::string Summary(ErrorNumber number, const std::string& path, const std::string& detail) {
    std::string text = Description(number);
    if (!path.empty()) text += ": " + path;
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}
}  // namespace

RuntimeError::RuntimeError(ErrorNumber number, std::string path, std::string detail)
    : number_(number), path_(std::move(path)), detail_(std::move(detail)), summary_(Summary(number_, path_, detail_)) {}

void RuntimeError::AddNote(const std::string& note) {
    detail_ = detail_.empty() ? note : detail_ + "; " + note;
    summary_ = Summary(number_, path_, detail_);
}

void RuntimeError::ReportUnder(std::string_view from, std::string_view to) {
    if (from.empty() || !path_.starts_with(from)) return;
    path_.replace(0, from.size(), to);
    summary_ = Summary(number_, path_, detail_);
}

std::string RuntimeError::Report() const {
    return "Run-time error '" + std::to_string(static_cast<int>(number_)) + "':\r\n\r\n" + summary_;
}

void Raise(ErrorNumber number, std::string path, std::string detail) {
    throw RuntimeError(number, std::move(path), std::move(detail));
}

}  // namespace runtime
