#include "Forms.h"

#include <exception>
#include <new>

#include "FileSystem.h"
#include "Program.h"
#include "RuntimeError.h"
#include "Utf8.h"

namespace runtime {

Control::Control(Form& form, ControlKind kind, std::string name, const Control* container, std::string content,
                 TwipsRect bounds, int tabIndex, std::optional<Color> backColor)
    : kind_(kind), name_(std::move(name)), container_(container), bounds_(bounds), tabIndex_(tabIndex),
      backColor_(backColor), content_(std::move(content)) {
    form.controls_.push_back(this);
}

std::string Control::Content() const { return peer_ ? peer_->ReadText() : content_; }

void Control::SetContent(std::string content) {
    content_ = std::move(content);
    if (peer_) peer_->WriteText(content_);
}

void Control::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (peer_) peer_->WriteEnabled(enabled);
}

namespace {
WindowSystem* replacement = nullptr;

WindowSystem& ActiveWindowSystem() { return replacement ? *replacement : PlatformWindowSystem(); }

// Runs one event procedure. A run-time error is reported here, in the only
// place that catches it, and ends the program like End does; an interruption
// held back meanwhile then ends it as its signal would.
std::optional<int> Dispatch(Form& form, const std::function<void()>& procedure) {
    std::optional<RuntimeError> error;
    std::optional<int> ended;
    try {
        const InterruptionShield shield;
        const LookupCache lookups;
        procedure();
    } catch (const ProgramEnd& end) {
        ended = end.status;
    } catch (const RuntimeError& raised) {
        error = raised;
    } catch (const std::bad_alloc&) {
        error.emplace(ErrorNumber::InternalError, "", "out of memory");
    } catch (const std::exception& unexpected) {
        error.emplace(ErrorNumber::InternalError, "", unexpected.what());
    }
    if (error || ended) CloseAllFiles();
    if (error) {
        ended = 1;
        try {
            ActiveWindowSystem().ShowMessageBox(error->Report(), vbCritical, form.Caption());
        } catch (const RuntimeError&) {
            // A window that cannot show the report has said so where it could.
        }
    }
    EndIfInterrupted();
    return ended;
}
}  // namespace

void UseWindowSystem(WindowSystem* windowSystem) { replacement = windowSystem; }

void MsgBox(const std::string& prompt, MsgBoxStyle style, const std::string& title) {
    RaiseIfInterrupted();
    ActiveWindowSystem().ShowMessageBox(prompt, style, title);
}

std::string BreakLongRuns(std::string_view text, const std::function<bool(std::string_view run)>& fits) {
    std::string broken;
    std::string run;  // since the last space or line break
    for (std::size_t i = 0; i < text.size();) {
        const std::string_view character = text.substr(i, CharacterLength(text, i));
        i += character.size();
        if (character == " " || character == "\r" || character == "\n") {
            broken += character;
            run.clear();
            continue;
        }
        const bool separator = character == "\\" || character == "/";
        if (!run.empty() && !fits(run + std::string(character))) {
            // Full: break after its last separator, or here; a separator that
            // does not fit takes the character before it along, so that no
            // line holds a separator alone.
            std::size_t kept = run.find_last_of("\\/");
            if (kept != std::string::npos) ++kept;
            else if (!separator) kept = run.size();
            else for (kept = run.size() - 1; kept > 0 && IsContinuationByte(run[kept]);) --kept;
            if (kept > 0) {
                broken.insert(broken.size() - (run.size() - kept), "\r\n");
                run.erase(0, kept);
            }
        }
        broken += character;
        run += character;
    }
    return broken;
}

std::optional<int> ClickButton(Form& form, CommandButton& button) {
    if (!button.Enabled() || !button.Click) return std::nullopt;
    return Dispatch(form, button.Click);
}

std::optional<int> RequestClose(Form& form) {
    Integer cancel = 0;
    if (auto ended = Dispatch(form, [&] { form.Form_Unload(cancel); })) return ended;
    if (cancel != 0) return std::nullopt;
    return 0;
}

int Run(Form& form, int argc, char** argv, const std::string& version) {
    if (auto answered = ActiveWindowSystem().AnswerCommandLine(form, {argv, argv + argc}, version)) return *answered;
    return Run(form);
}

int Run(Form& form) {
    PrepareProcess();
    if (auto ended = Dispatch(form, [&] { form.Form_Load(); })) return *ended;
    return ActiveWindowSystem().RunWindow(form);
}

void End() { throw ProgramEnd{1}; }

}  // namespace runtime
