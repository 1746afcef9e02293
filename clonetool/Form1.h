// The program's one window: the destination box, the disk-space note and the
// button that makes a clone.
#pragma once

#include <optional>
#include <string>

#include "editions/Edition.h"
#include "editions/Paths.h"
#include "runtime/Forms.h"

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
    std::string LeftoversInTheWay(runtime::Integer first);
    void CopyFiles();
    void EditAim();
    runtime::Boolean FileExists(const std::string& FileName);
    std::optional<std::string> TakeBackHalfMadeClone();

    const EditionProfile& edition_;
    // Chosen once, at start-up, by where the client is installed.
    const Layout* layout_ = &kClassicLayout;
    runtime::Integer SlotCounter;
    // The clone run's destination, read once; ends in a backslash.
    std::string destination_;
    // Where this run builds the clone before moving it into place; empty
    // when there is nothing of this run's to take back.
    std::string stagingDirectory_;
};

}  // namespace vornix
