// The program's one window: the destination box, the disk-space note and the
// button that makes a clone.
#pragma once

#include <optional>
#include <string>

#include "editions/Edition.h"
#include "runtime/Window.h"

namespace vornix {

class Form1 : public runtime::Form {
public:
    explicit Form1(const EditionProfile& edition);

    runtime::Frame Frame2;
    runtime::TextBox txtDestination;
    runtime::Label Label1;
    runtime::CommandButton Command1;

    void Form_Load() override;
    void Command1_Click();
    void Form_Unload(runtime::Integer& Cancel) override;

private:
    void ScanSlots();
    void CopyFiles();
    void EditAim();
    runtime::Boolean FileExists(const std::string& FileName);
    std::string Destination() const;
    std::optional<std::string> TakeBackHalfMadeClone();

    const EditionProfile& edition_;
    runtime::Integer SlotCounter;
    bool cloneDirectoryMadeByThisRun_ = false;
};

}  // namespace vornix
