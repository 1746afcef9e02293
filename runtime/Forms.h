// The window, its controls and message boxes, as the tool sees them. The
// controls hold their own state; a platform window draws them and, through a
// ControlPeer, keeps what the user changes (typing into a text box).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Integer.h"

namespace runtime {

// Positions and sizes in twips (1440 to the inch), relative to the container.
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

struct Color {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

enum class ControlKind { Frame, TextBox, Label, CommandButton };

class ControlPeer {
public:
    virtual ~ControlPeer() = default;
    virtual std::string ReadText() = 0;
    virtual void WriteText(const std::string& text) = 0;
    virtual void WriteEnabled(bool enabled) = 0;
};

class Form;

class Control {
public:
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    ControlKind Kind() const { return kind_; }
    const std::string& Name() const { return name_; }
    // The frame it sits in, or nullptr for the form itself.
    const Control* Container() const { return container_; }
    TwipsRect Bounds() const { return bounds_; }
    int TabIndex() const { return tabIndex_; }
    std::optional<Color> BackColor() const { return backColor_; }

    // The caption of frames, labels and buttons; the text of text boxes.
    std::string Content() const;
    void SetContent(std::string content);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Called by the platform window when it creates and destroys the control.
    void Attach(ControlPeer* peer) { peer_ = peer; }

protected:
    Control(Form& form, ControlKind kind, std::string name, const Control* container, std::string content,
            TwipsRect bounds, int tabIndex, std::optional<Color> backColor = std::nullopt);

private:
    ControlKind kind_;
    std::string name_;
    const Control* container_;
    TwipsRect bounds_;
    int tabIndex_;
    std::optional<Color> backColor_;
    std::string content_;
    bool enabled_ = true;
    ControlPeer* peer_ = nullptr;
};

class Frame : public Control {
public:
    Frame(Form& form, std::string name, std::string caption, TwipsRect bounds, int tabIndex)
        : Control(form, ControlKind::Frame, std::move(name), nullptr, std::move(caption), bounds, tabIndex) {}
};

class TextBox : public Control {
public:
    TextBox(Form& form, std::string name, const Control& container, std::string text, TwipsRect bounds,
            int tabIndex, Color backColor)
        : Control(form, ControlKind::TextBox, std::move(name), &container, std::move(text), bounds, tabIndex,
                  backColor) {}
    std::string Text() const { return Content(); }
    void SetText(std::string text) { SetContent(std::move(text)); }
};

class Label : public Control {
public:
    Label(Form& form, std::string name, std::string caption, TwipsRect bounds, int tabIndex)
        : Control(form, ControlKind::Label, std::move(name), nullptr, std::move(caption), bounds, tabIndex) {}
};

class CommandButton : public Control {
public:
    CommandButton(Form& form, std::string name, std::string caption, TwipsRect bounds, int tabIndex)
        : Control(form, ControlKind::CommandButton, std::move(name), nullptr, std::move(caption), bounds,
                  tabIndex) {}
    // The click event procedure, bound by the form.
    std::function<void()> Click;
};

class Form {
public:
    Form(std::string caption, int clientWidthTwips, int clientHeightTwips)
        : caption_(std::move(caption)), clientWidth_(clientWidthTwips), clientHeight_(clientHeightTwips) {}
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form() = default;

    const std::string& Caption() const { return caption_; }
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    // In the order the form declares them.
    const std::vector<Control*>& Controls() const { return controls_; }

    virtual void Form_Load() {}
    virtual void Form_Unload(Integer& Cancel) { (void)Cancel; }

private:
    friend class Control;
    std::string caption_;
    int clientWidth_;
    int clientHeight_;
    std::vector<Control*> controls_;
};

enum MsgBoxStyle : int { vbCritical = 16, vbInformation = 64 };

// Draws the window and delivers the user's actions. One implementation per
// platform; tests bring their own.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Modal, one OK button; lines of `text` are joined with CR LF.
    virtual void ShowMessageBox(const std::string& text, MsgBoxStyle style, const std::string& title) = 0;
    // Shows the form and delivers its events (through ClickButton and
    // RequestClose) until it closes or the program ends; returns the exit status.
    virtual int RunWindow(Form& form) = 0;
    // Answers the command line (program name first) before the form loads:
    // the exit status when that is all there is to do, nothing to go on.
    virtual std::optional<int> AnswerCommandLine(const Form& form, const std::vector<std::string>& commandLine,
                                                 const std::string& version) {
        (void)form, (void)commandLine, (void)version;
        return std::nullopt;
    }
};

WindowSystem& PlatformWindowSystem();
// Replaces the platform's window system (nullptr restores it).
void UseWindowSystem(WindowSystem* windowSystem);

void MsgBox(const std::string& prompt, MsgBoxStyle style, const std::string& title);

// The text with every run without a space (a long path, mostly) that `fits`
// finds too long broken into lines, after its last separator where there is
// one; for windows that would otherwise grow to fit it, or break it again.
std::string BreakLongRuns(std::string_view text, const std::function<bool(std::string_view run)>& fits);

// The event dispatch. Each returns the exit status when the event ended the
// program (a run-time error, reported here, or End), and nothing otherwise.
std::optional<int> ClickButton(Form& form, CommandButton& button);
// Also returns 0 when the window may close.
std::optional<int> RequestClose(Form& form);

// Loads the form, shows it and runs it to the end; returns the exit status.
int Run(Form& form);
// The same for a program: its command line is answered first.
int Run(Form& form, int argc, char** argv, const std::string& version);

}  // namespace runtime
