// A window system for driving Form1 in-process: it performs a script of user
// actions and records every message box with the state of the window then.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "runtime/Forms.h"

namespace vornix::testing {

struct ShownBox {
    runtime::MsgBoxStyle style;
    std::string title;
    std::string text;
    bool buttonEnabled;  // Command1's state while the box was up
};

class ScriptedWindow : public runtime::WindowSystem {
public:
    enum class Action { Click, Close };

    ScriptedWindow();
    ~ScriptedWindow() override;

    // Performed in order once the window is shown; the window closes at the end.
    std::vector<Action> script;
    // Typed into the text box, when not empty, before the script starts.
    std::string typed;
    // Runs while each box is up, with its title.
    std::function<void(const std::string&)> onBox;

    std::vector<ShownBox> boxes;
    bool windowShown = false;
    // The destination text after each performed action.
    std::vector<std::string> textAfterAction;

    std::vector<std::string> Titles() const;

    void ShowMessageBox(const std::string& text, runtime::MsgBoxStyle style, const std::string& title) override;
    int RunWindow(runtime::Form& form) override;

private:
    runtime::Form* form_ = nullptr;
};

}  // namespace vornix::testing
