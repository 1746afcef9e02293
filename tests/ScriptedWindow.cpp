#include "ScriptedWindow.h"

namespace vornix::testing {

using runtime::Control;
using runtime::ControlKind;

namespace {
Control* Find(runtime::Form* form, ControlKind kind) {
    if (form)
        for (Control* control : form->Controls())
            if (control->Kind() == kind) return control;
    return nullptr;
}
}  // namespace

ScriptedWindow::ScriptedWindow() { runtime::UseWindowSystem(this); }
ScriptedWindow::~ScriptedWindow() { runtime::UseWindowSystem(nullptr); }

std::vector<std::string> ScriptedWindow::Titles() const {
    std::vector<std::string> titles;
    for (const ShownBox& box : boxes) titles.push_back(box.title);
    return titles;
}

void ScriptedWindow::ShowMessageBox(const std::string& text, runtime::MsgBoxStyle style, const std::string& title) {
    const Control* button = Find(form_, ControlKind::CommandButton);
    boxes.push_back({style, title, text, button ? button->Enabled() : false});
    if (onBox) onBox(title);
}

int ScriptedWindow::RunWindow(runtime::Form& form) {
    form_ = &form;
    windowShown = true;
    const int status = [&] {
        auto* button = static_cast<runtime::CommandButton*>(Find(form_, ControlKind::CommandButton));
        if (!typed.empty()) Find(form_, ControlKind::TextBox)->SetContent(typed);
        for (Action action : script) {
            if (action == Action::Close) break;
            if (auto ended = runtime::ClickButton(form, *button)) return *ended;
            textAfterAction.push_back(Find(form_, ControlKind::TextBox)->Content());
        }
        for (;;)
            if (auto ended = runtime::RequestClose(form)) return *ended;
    }();
    form_ = nullptr;  // the form may go before this window does
    return status;
}

}  // namespace vornix::testing
