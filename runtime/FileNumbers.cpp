// File numbers as the classic runtime hands them out: 1 to 255, lowest free
// first, each naming one open file.
#include <array>
#include <memory>

#include "BinaryFile.h"
#include "FileSystem.h"
#include "Program.h"
#include "RuntimeError.h"

namespace runtime {
namespace {

constexpr int kHighestFileNumber = 255;

struct OpenFile {
    std::unique_ptr<BinaryFile> file;
    std::string path;
};

std::array<OpenFile, kHighestFileNumber + 1>& Table() {
    static std::array<OpenFile, kHighestFileNumber + 1> table;
    return table;
}

OpenFile& Slot(int fileNumber) {
    if (fileNumber < 1 || fileNumber > kHighestFileNumber)
        Raise(ErrorNumber::BadFileNameOrNumber, {}, "file number " + std::to_string(fileNumber));
    return Table()[static_cast<std::size_t>(fileNumber)];
}

OpenFile& OpenSlot(int fileNumber) {
    OpenFile& slot = Slot(fileNumber);
    if (!slot.file)
        Raise(ErrorNumber::BadFileNameOrNumber, {}, "file number " + std::to_string(fileNumber) + " is not open");
    return slot;
}

}  // namespace

int FreeFile() {
    for (int number = 1; number <= kHighestFileNumber; ++number)
        if (!Table()[static_cast<std::size_t>(number)].file) return number;
    Raise(ErrorNumber::TooManyFiles, {});
}

void OpenBinary(int fileNumber, const std::string& path) {
    RaiseIfInterrupted(path);
    OpenFile& slot = Slot(fileNumber);
    if (slot.file) Raise(ErrorNumber::FileAlreadyOpen, slot.path);
    slot.file = OpenExistingBinaryFile(path, FileAccess::ReadWrite);
    slot.path = path;
}

void PutByte(int fileNumber, std::int64_t position, std::uint8_t byte) {
    OpenFile& slot = OpenSlot(fileNumber);
    RaiseIfInterrupted(slot.path);
    if (position < 1 || position > slot.file->Size())
        Raise(ErrorNumber::BadRecordNumber, slot.path,
              "byte position " + std::to_string(position) + " is past the end of the file, which has " +
                  std::to_string(slot.file->Size()) + " bytes");
    slot.file->WriteByteAt(position - 1, byte);
}

void Close(int fileNumber) {
    OpenFile& slot = OpenSlot(fileNumber);
    // Taken out of the table first: a file whose close failed is closed all the same.
    std::unique_ptr<BinaryFile> file = std::move(slot.file);
    file->Close();
}

void CloseAllFiles() noexcept {
    for (OpenFile& slot : Table()) slot.file.reset();
}

}  // namespace runtime
